#pragma once

namespace utils {

// Process-wide service installed by the host at start-up; instance() is null until then. As with
// CSingletonT, the storage of each service is defined once in the host library.
template <class T>
class CManualSingletonT
{
public:
    static T* instance();
    static void setInstance(T* pInstance);
};

} // namespace utils
