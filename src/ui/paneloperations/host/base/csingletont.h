#pragma once

namespace utils {

// Process-wide service created on first use. The instance of each service is defined once, in the
// host library (an explicit specialisation of instance()), so that every shared object of the process
// sees the same one whatever its symbol visibility.
template <class T>
class CSingletonT
{
public:
    static T* instance();
};

} // namespace utils
