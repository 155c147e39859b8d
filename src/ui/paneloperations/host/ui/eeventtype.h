#pragma once

namespace WQ {

// Types of the events host controls raise; handleEvent of the enclosing panel or dialog receives them
// with the control's id. The numbers are part of the host interface.
enum EEventType
{
    EVENT_FOCUS_IN = 0,          // a widget took the keyboard focus; data is the widget
    EVENT_BUTTON_CLICKED = 5,    // param 0, text the button's text
    EVENT_TEXT_CLICKED = 10,     // a clickable text was clicked; text its text
    EVENT_CHECKBOX_TOGGLED = 69, // the user toggled a check box; param 1 checked, 0 unchecked
    EVENT_LINE_EDIT = 105,       // the user finished changing a line edit's text; text the new text
};

} // namespace WQ
