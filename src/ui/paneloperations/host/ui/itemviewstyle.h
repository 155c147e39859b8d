#pragma once

class QTableView;

namespace WQ {

// Styles a table view from the resources: cells through the palette (a style sheet on the view would
// slow every cell down), the header and the scroll bars through style sheets of their own. Called again
// on every theme or scale change.
void applyItemViewStyle(QTableView* pView);

} // namespace WQ
