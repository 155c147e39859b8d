#include "common/ctesthost.h"

#include "base/crpcengine.h"
#include "trading/corderjournal.h"
#include "trading/tradercenter.h"

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <future>

CTestHost::CTestHost(EOrderServiceKind eKind, const QString& strProfilePath)
{
    const QString strProfile = strProfilePath.isEmpty() ? sampleProfilePath() : strProfilePath;
    QString strError;
    if (!m_profile.load(strProfile, strError))
        ADD_FAILURE() << "test profile does not load: " << strError.toStdString();

    m_pConfig = std::make_unique<TC::CConfig>(m_dir.path() + QStringLiteral("/data"), m_profile.m_strStrategyReplaceFrom,
                                              m_profile.m_strStrategyReplaceTo);
    if (!m_pConfig->prepareDirectories(strError))
        ADD_FAILURE() << strError.toStdString();
    m_pUserConfig = std::make_unique<TC::CUserConfig>(dataDir() + QStringLiteral("/user.ini"), m_profile);

    if (eKind == RECORDING_SERVICE)
    {
        auto pRecorder = std::make_unique<CRecordingOrderService>();
        m_pRecorder = pRecorder.get();
        m_pOrderService = std::move(pRecorder);
    }
    else
    {
        auto pJournal = boost::make_shared<TC::COrderJournal>();
        if (!pJournal->open(journalPath(), strError))
            ADD_FAILURE() << strError.toStdString();
        m_pOrderService = std::make_unique<TC::COrderService>(pJournal);
    }
    m_pDataCenter = std::make_unique<TC::CProfileDataCenter>(*m_pUserConfig);

    utils::CManualSingletonT<TC::CConfig>::setInstance(m_pConfig.get());
    utils::CManualSingletonT<TC::CUserConfig>::setInstance(m_pUserConfig.get());
    utils::CManualSingletonT<TC::COrderService>::setInstance(m_pOrderService.get());
    ttservice::TraderCenter::instance()->setDataCenter(m_pDataCenter.get());
}

CTestHost::~CTestHost()
{
    ttservice::TraderCenter::instance()->setDataCenter(nullptr);
    utils::CManualSingletonT<TC::COrderService>::setInstance(nullptr);
    utils::CManualSingletonT<TC::CUserConfig>::setInstance(nullptr);
    utils::CManualSingletonT<TC::CConfig>::setInstance(nullptr);
}

QString CTestHost::dataDir() const
{
    return m_pConfig->dataDir();
}

QString CTestHost::batchOrderDir() const
{
    return m_pConfig->batchOrderDir();
}

QString CTestHost::journalPath() const
{
    return dataDir() + QStringLiteral("/orders.db");
}

QString CTestHost::sampleProfilePath()
{
    return QStringLiteral(BATCHORDER_SOURCE_DIR "/examples/profile.json");
}

void CTestHost::setStrategySubstitution(const QString& strFrom, const QString& strTo)
{
    auto pConfig = std::make_unique<TC::CConfig>(m_pConfig->dataDir(), strFrom, strTo);
    utils::CManualSingletonT<TC::CConfig>::setInstance(pConfig.get());
    m_pConfig = std::move(pConfig);
}

void drainBatchOrderStrand()
{
    std::promise<void> done;
    utils::CSingletonT<net::RPCEngine>::instance()->getStrand("batchorder")->post([&done] { done.set_value(); });
    done.get_future().wait();
}
