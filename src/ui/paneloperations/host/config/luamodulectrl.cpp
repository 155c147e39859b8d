#include "config/luamodulectrl.h"

#include "config/cuserconfig.h"

#include <algorithm>

namespace luawrapper {

LuaModuleCtrl* LuaModuleCtrl::instance()
{
    static LuaModuleCtrl s_ctrl;
    return &s_ctrl;
}

bool LuaModuleCtrl::checkModule(const QStringList& modules, bool bAny) const
{
    const TC::CUserConfig* pConfig = TC::getUserConfig();
    if (!pConfig) {
        return false;
    }
    const QSet<QString>& enabled = pConfig->profile().m_modules;
    auto isEnabled = [&enabled](const QString& strModule) { return enabled.contains(strModule); };
    if (modules.isEmpty()) {
        return true;
    }
    return bAny ? std::any_of(modules.cbegin(), modules.cend(), isEnabled)
                : std::all_of(modules.cbegin(), modules.cend(), isEnabled);
}

} // namespace luawrapper
