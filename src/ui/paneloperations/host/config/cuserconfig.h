#pragma once

#include "base/cmanualsingletont.h"
#include "config/caccountdata.h"
#include "config/cdbfalgoparam.h"
#include "config/chostprofile.h"
#include "config/eusermember.h"

#include <boost/shared_ptr.hpp>
#include <boost/signals2/signal.hpp>
#include <boost/thread/mutex.hpp>

#include <QHash>
#include <QMap>
#include <QSet>
#include <QString>
#include <QVariant>

#include <memory>

class QSettings;

namespace TC {

// The user configuration: the user's settings, kept in <data-dir>/user.ini so they survive a restart,
// and the accounts and algorithm settings of the profile. Any thread may call any operation.
class CUserConfig
{
public:
    CUserConfig(const QString& strIniPath, const CHostProfile& profile);
    ~CUserConfig();
    CUserConfig(const CUserConfig&) = delete;
    CUserConfig& operator=(const CUserConfig&) = delete;

    // Settings; defaults false and "". bNotify announces the change on m_sigChanged.
    bool getUserDataBool(EUserMember eMember) const;
    void setUserDataBool(EUserMember eMember, bool bValue, bool bNotify = true);
    QString getUserDataString(EUserMember eMember) const;
    void setUserDataString(EUserMember eMember, const QString& strValue, bool bNotify = true);

    // Accounts: by full account key; null when absent.
    boost::shared_ptr<CAccountData> getAccountData(const QString& strKey) const;
    bool isDualCenterAccount(const boost::shared_ptr<CAccountData>& pAccount) const;
    QList<boost::shared_ptr<CAccountData>> getAccounts() const;

    // Algorithm setting for a DBF price-type code; null when none.
    boost::shared_ptr<CDbfAlgoParam> getDbfAlgoParam(const QString& strPriceType) const;
    // Every algorithm setting: the profile's as the user changed them (in profile order), then those the
    // user added (by price-type code).
    QList<boost::shared_ptr<CDbfAlgoParam>> getDbfAlgoParams() const;
    // Replaces the algorithm settings; they take effect at once and are kept in user.ini (the profile
    // is not rewritten). Each price-type code must be one of the profile's DBF codes and appear once,
    // and each name must not be empty; otherwise nothing changes and strError says why.
    bool setDbfAlgoParams(const QList<CDbfAlgoParam>& params, QString& strError);

    const CHostProfile& profile() const { return m_profile; }

    boost::signals2::signal<void(EUserMember)> m_sigChanged;
    // A setting that could not be written to the file (it is kept in memory): its key in the file and
    // the file. Emitted on the thread that set it, outside the lock.
    boost::signals2::signal<void(const QString& strKey, const QString& strFile)> m_sigSaveFailed;

private:
    void store(EUserMember eMember, const QVariant& value, bool bNotify);
    void loadDbfAlgoParams();
    // Builds the settings from the profile's and the user's changes to them; m_mutex held (or construction).
    void installDbfAlgoParams(const QSet<QString>& removed, QMap<QString, CDbfAlgoParam> changed);

    mutable boost::mutex m_mutex; // guards the settings file and the algorithm settings
    std::unique_ptr<QSettings> m_pSettings;
    CHostProfile m_profile;
    QList<boost::shared_ptr<CAccountData>> m_accounts;
    QHash<QString, boost::shared_ptr<CAccountData>> m_accountsByKey;
    QList<boost::shared_ptr<CDbfAlgoParam>> m_algoParamList;
    QHash<QString, boost::shared_ptr<CDbfAlgoParam>> m_algoParams;
};

// The configuration the host installed (utils::CManualSingletonT<CUserConfig>); null before.
CUserConfig* getUserConfig();

} // namespace TC

template <> TC::CUserConfig* utils::CManualSingletonT<TC::CUserConfig>::instance();
template <> void utils::CManualSingletonT<TC::CUserConfig>::setInstance(TC::CUserConfig* pInstance);
