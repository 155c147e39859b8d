#include "config/luamodulectrl.h"

#include "common/ctesthost.h"

#include <gtest/gtest.h>

using luawrapper::LuaModuleCtrl;

// The sample profile enables "mdl_order", "mdl_order_command_remark" and "mdl_order_command_remark_extra".
TEST(LuaModuleCtrl, AnswersFromTheProfilesModules)
{
    struct
    {
        QStringList modules;
        bool bAny;
        bool bExpected;
    } const rows[] = {
        {{QStringLiteral("mdl_order"), QStringLiteral("mdl_order_command_remark")}, false, true},
        {{QStringLiteral("mdl_order"), QStringLiteral("mdl_order_command_remark_extra")}, false, true},
        {{QStringLiteral("mdl_order"), QStringLiteral("mdl_other")}, false, false},
        {{QStringLiteral("mdl_order"), QStringLiteral("mdl_other")}, true, true},
        {{QStringLiteral("mdl_other")}, true, false},
    };
    EXPECT_FALSE(LuaModuleCtrl::instance()->checkModule({QStringLiteral("mdl_order")}, false))
        << "no configuration, no module";
    CTestHost host;
    for (const auto& row : rows) {
        EXPECT_EQ(LuaModuleCtrl::instance()->checkModule(row.modules, row.bAny), row.bExpected)
            << row.modules.join(QLatin1Char(',')).toStdString() << (row.bAny ? " any" : " all");
    }
}
