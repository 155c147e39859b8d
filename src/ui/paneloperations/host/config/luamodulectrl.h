#pragma once

#include <QStringList>

namespace luawrapper {

// The host's feature-module query: which optional features this installation enables, from the
// profile's "modules" list. Read-only data; any thread.
class LuaModuleCtrl
{
public:
    static LuaModuleCtrl* instance();

    // With bAny false, true when every module of the list is enabled; with bAny true, when at least one
    // is. An empty list is available. False for everything while no configuration is installed.
    bool checkModule(const QStringList& modules, bool bAny) const;
};

} // namespace luawrapper
