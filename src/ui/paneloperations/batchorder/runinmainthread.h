#pragma once

#include <functional>

class QObject;

namespace TC {

// Runs fn on the GUI thread (the application object's thread): at once when called there, otherwise
// queued to the GUI event loop, in the order the calling thread queued it. With a context object, the
// call is tied to it: a queued call whose context is destroyed before it runs is dropped. Without an
// application object nothing can be queued, so fn runs at once on the calling thread.
void runInMainThread(std::function<void()> fn, QObject* pContext = nullptr);

} // namespace TC
