// A host profile file through the profile loader. A profile that loads must give a user configuration
// that finds each of its accounts by key; one that does not load names the file and leaves nothing
// half-filled.
#include "common/cfuzzhost.h"

#include "config/chostprofile.h"
#include "config/cuserconfig.h"

#include <QFile>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pBytes, size_t nSize)
{
    const CFuzzHost& host = CFuzzHost::instance();
    static const QString s_strPath = host.scratchPath(QStringLiteral("profile.json"));
    {
        QFile file(s_strPath);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the scratch file opens");
        file.write(reinterpret_cast<const char*>(pBytes), static_cast<qint64>(nSize));
    }

    TC::CHostProfile profile;
    QString strError;
    if (!profile.load(s_strPath, strError)) {
        FUZZ_CHECK(strError.contains(s_strPath), "a refusal names the file");
        FUZZ_CHECK(profile.m_accounts.isEmpty() && profile.m_instruments.isEmpty() &&
                       profile.m_dbfPriceTypes.isEmpty() && profile.m_algoSettings.isEmpty() &&
                       profile.m_algoRights.isEmpty() && profile.m_monitorProcesses.isEmpty(),
                   "a refused profile is left empty");
        return 0;
    }
    FUZZ_CHECK(strError.isEmpty(), "a loaded profile has no error");
    // The settings file is never written: nothing here changes a setting.
    const TC::CUserConfig config(host.scratchPath(QStringLiteral("profile-user.ini")), profile);
    for (const TC::CAccountData& account : profile.m_accounts) {
        const auto pFound = config.getAccountData(account.m_strKey);
        FUZZ_CHECK(pFound && pFound->m_strKey == account.m_strKey, "each account is found by its key");
    }
    return 0;
}
