#include "ui/cdbfalgoparamssettingdialog.h"

#include "config/cuserconfig.h"
#include "trading/pricetypes.h"
#include "trading/tradetypes.h"
#include "ui/csimpletextwidget.h"
#include "ui/csmallnormalbutton.h"
#include "ui/cuiresource.h"
#include "ui/cwidgetlist.h"
#include "ui/itemviewstyle.h"

#include <QComboBox>
#include <QHeaderView>
#include <QTableWidget>

#include <algorithm>

namespace TC {

namespace {

// The algorithm order types a setting can select, with the names the user knows them by.
const struct
{
    int m_nOrderType;
    const char* m_szName;
} s_orderTypes[] = {
    {ttservice::OTP_TWAP, "TWAP"},
    {ttservice::OTP_VWAP, "VWAP"},
    {ttservice::OTP_ICEBERG, "冰山"},
    {ttservice::OTP_FOLLOW, "跟量"},
    {ttservice::OTP_ALGO_PROVIDER, "第三方算法"},
};

const int s_priceTypes[] = {
    ttservice::PRTP_FIX,         ttservice::PRTP_LATEST, ttservice::PRTP_MODEL,   ttservice::PRTP_MARKET,
    ttservice::PRTP_MARKET_BEST, ttservice::PRTP_HANG,   ttservice::PRTP_COMPETE, ttservice::PRTP_SALE1,
    ttservice::PRTP_SALE2,       ttservice::PRTP_SALE3,  ttservice::PRTP_SALE4,   ttservice::PRTP_SALE5,
    ttservice::PRTP_BUY1,        ttservice::PRTP_BUY2,   ttservice::PRTP_BUY3,    ttservice::PRTP_BUY4,
    ttservice::PRTP_BUY5,
};

// The profile's DBF price-type codes, numbers in numeric order before any other text.
QStringList dbfCodes()
{
    const CUserConfig* pConfig = getUserConfig();
    QStringList codes = pConfig ? pConfig->profile().m_dbfPriceTypes.keys() : QStringList();
    std::sort(codes.begin(), codes.end(), [](const QString& left, const QString& right) {
        bool bLeftOk = false;
        bool bRightOk = false;
        const qlonglong nLeft = left.toLongLong(&bLeftOk);
        const qlonglong nRight = right.toLongLong(&bRightOk);
        if (bLeftOk != bRightOk) {
            return bLeftOk;
        }
        return bLeftOk ? nLeft < nRight : left < right;
    });
    return codes;
}

// Selects the item carrying nValue, adding it first when the list lacks it (a value written by hand).
void selectValue(QComboBox* pCombo, int nValue)
{
    int nIndex = pCombo->findData(nValue);
    if (nIndex < 0) {
        pCombo->addItem(QString::number(nValue), nValue);
        nIndex = pCombo->count() - 1;
    }
    pCombo->setCurrentIndex(nIndex);
}

// The cell editors in the theme's input colours.
QString comboStyleSheet()
{
    const WQ::CUiResource* pRes = WQ::CUiResource::instance();
    auto sheet = [pRes](const char* szKey) { return pRes->getColorSheetByKey(QLatin1String(szKey)); };
    return QStringLiteral(
               "QComboBox {background: %1; color: %2; border: 1px solid %3; padding: 0px %4px;}"
               "QComboBox QAbstractItemView {background: %1; color: %2; selection-background-color: %5;"
               " border: 1px solid %3;}")
        .arg(sheet("clr_input_background"), sheet("clr_text_default"), sheet("clr_input_border"))
        .arg(pRes->getSize(QStringLiteral("tc_siz_text_padding")) / 2)
        .arg(sheet("clr_table_selection"));
}

} // namespace

CDbfAlgoParamsSettingDialog::CDbfAlgoParamsSettingDialog(QWidget* pParent) : WQ::CCommonDialog(pParent)
{
    setTitle(QStringLiteral("批量下单参数设置"));
    resize(600, 340);
    createUi();
    reload();
}

CDbfAlgoParamsSettingDialog::~CDbfAlgoParamsSettingDialog() = default;

void CDbfAlgoParamsSettingDialog::createUi()
{
    auto* pRoot = new WQ::CWidgetList(Qt::Vertical, this);
    pRoot->setMargin(10);
    pRoot->setSpacing(8);

    m_pTable = new QTableWidget(0, 4, pRoot);
    m_pTable->setHorizontalHeaderLabels({QStringLiteral("价格类型代码"), QStringLiteral("算法名称"),
                                         QStringLiteral("算法类型"), QStringLiteral("报价方式")});
    m_pTable->verticalHeader()->hide();
    m_pTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTable->setFrameShape(QFrame::NoFrame);
    pRoot->addFixedWidget(m_pTable, WQ::CWidgetList::ANCHOR_FILL, true);

    m_pHint = new WQ::CSimpleTextWidget(QString(), pRoot);
    pRoot->addFixedWidget(m_pHint, WQ::CWidgetList::ANCHOR_START, false);

    auto* pButtons = new WQ::CWidgetList(Qt::Horizontal, pRoot);
    pButtons->setSpacing(8);
    pButtons->setFixedHeight(26);
    auto addButton = [pButtons](int nId, const char* szText, int nType) {
        auto* pButton = new WQ::CSmallNormalButton(nId, true, pButtons, nType);
        pButton->setText(QString::fromUtf8(szText));
        pButton->setFixedSize(72, 26);
        return pButton;
    };
    pButtons->addFixedWidget(addButton(BUTTON_ADD, "添加", WQ::CSmallNormalButton::BUTTON_TYPE_NORMAL),
                             WQ::CWidgetList::ANCHOR_FILL, false);
    pButtons->addFixedWidget(addButton(BUTTON_REMOVE, "删除", WQ::CSmallNormalButton::BUTTON_TYPE_NORMAL),
                             WQ::CWidgetList::ANCHOR_FILL, false);
    pButtons->addStretchSpace(1);
    pButtons->addFixedWidget(addButton(BUTTON_SAVE, "保存", WQ::CSmallNormalButton::BUTTON_TYPE_PRIMARY),
                             WQ::CWidgetList::ANCHOR_FILL, false);
    pButtons->addFixedWidget(addButton(BUTTON_CLOSE, "关闭", WQ::CSmallNormalButton::BUTTON_TYPE_NORMAL),
                             WQ::CWidgetList::ANCHOR_FILL, false);
    pRoot->addFixedWidget(pButtons, WQ::CWidgetList::ANCHOR_FILL, false);

    setInnerWidget(pRoot);
    themeChanged();
}

void CDbfAlgoParamsSettingDialog::reload()
{
    m_pTable->setRowCount(0);
    if (const CUserConfig* pConfig = getUserConfig()) {
        for (const boost::shared_ptr<CDbfAlgoParam>& pParam : pConfig->getDbfAlgoParams()) {
            appendRow(pParam->m_strPriceTypeCode, pParam->m_strName, pParam->m_nOrderType,
                      pParam->m_nPriceType);
        }
    }
    showHint(QString(), false);
}

void CDbfAlgoParamsSettingDialog::addRow()
{
    QStringList used;
    for (int nRow = 0; nRow < m_pTable->rowCount(); ++nRow) {
        used.append(static_cast<QComboBox*>(m_pTable->cellWidget(nRow, COLUMN_CODE))->currentText());
    }
    const QStringList codes = dbfCodes();
    auto free = std::find_if(codes.cbegin(), codes.cend(),
                             [&used](const QString& strCode) { return !used.contains(strCode); });
    appendRow(free != codes.cend() ? *free : QString(), QString(), ttservice::OTP_TWAP, ttservice::PRTP_FIX);
    m_pTable->setCurrentCell(m_pTable->rowCount() - 1, COLUMN_NAME);
    m_pTable->editItem(m_pTable->item(m_pTable->rowCount() - 1, COLUMN_NAME));
}

void CDbfAlgoParamsSettingDialog::removeCurrentRow()
{
    const int nRow = m_pTable->currentRow();
    if (nRow >= 0) {
        m_pTable->removeRow(nRow);
    }
}

bool CDbfAlgoParamsSettingDialog::save()
{
    CUserConfig* pConfig = getUserConfig();
    if (!pConfig) {
        return false;
    }
    QList<CDbfAlgoParam> params;
    for (int nRow = 0; nRow < m_pTable->rowCount(); ++nRow) {
        CDbfAlgoParam param;
        param.m_strPriceTypeCode =
            static_cast<QComboBox*>(m_pTable->cellWidget(nRow, COLUMN_CODE))->currentText();
        param.m_strName = m_pTable->item(nRow, COLUMN_NAME)->text().trimmed();
        param.m_nOrderType =
            static_cast<QComboBox*>(m_pTable->cellWidget(nRow, COLUMN_ORDER_TYPE))->currentData().toInt();
        param.m_nPriceType =
            static_cast<QComboBox*>(m_pTable->cellWidget(nRow, COLUMN_PRICE_TYPE))->currentData().toInt();
        params.append(param);
    }
    QString strError;
    if (!pConfig->setDbfAlgoParams(params, strError)) {
        showHint(strError, true);
        return false;
    }
    showHint(QStringLiteral("已保存"), false);
    return true;
}

QString CDbfAlgoParamsSettingDialog::hintText() const
{
    return m_pHint->text();
}

bool CDbfAlgoParamsSettingDialog::handleEvent(int nType, int nId, int nParam, QString strText, void* pData)
{
    if (nType == WQ::EVENT_BUTTON_CLICKED) {
        switch (nId) {
        case BUTTON_ADD:
            addRow();
            return true;
        case BUTTON_REMOVE:
            removeCurrentRow();
            return true;
        case BUTTON_SAVE:
            save();
            return true;
        case BUTTON_CLOSE:
            reject();
            return true;
        default:
            break;
        }
    }
    return WQ::CCommonDialog::handleEvent(nType, nId, nParam, strText, pData);
}

void CDbfAlgoParamsSettingDialog::themeChanged()
{
    WQ::CCommonDialog::themeChanged();
    if (m_pTable) {
        WQ::applyItemViewStyle(m_pTable);
        const QString strComboStyle = comboStyleSheet();
        for (QComboBox* pCombo : m_pTable->findChildren<QComboBox*>()) {
            pCombo->setStyleSheet(strComboStyle);
        }
        m_pTable->setColumnWidth(COLUMN_CODE, 110);
        m_pTable->setColumnWidth(COLUMN_NAME, 150);
        m_pTable->setColumnWidth(COLUMN_ORDER_TYPE, 130);
    }
}

void CDbfAlgoParamsSettingDialog::showEvent(QShowEvent* pEvent)
{
    reload();
    WQ::CCommonDialog::showEvent(pEvent);
}

void CDbfAlgoParamsSettingDialog::appendRow(const QString& strCode, const QString& strName, int nOrderType,
                                            int nPriceType)
{
    const int nRow = m_pTable->rowCount();
    m_pTable->insertRow(nRow);

    auto* pCode = new QComboBox(m_pTable);
    pCode->addItems(dbfCodes());
    pCode->setCurrentIndex(std::max(0, pCode->findText(strCode)));
    m_pTable->setCellWidget(nRow, COLUMN_CODE, pCode);

    m_pTable->setItem(nRow, COLUMN_NAME, new QTableWidgetItem(strName));

    auto* pOrderType = new QComboBox(m_pTable);
    for (const auto& orderType : s_orderTypes) {
        pOrderType->addItem(
            QStringLiteral("%1 %2").arg(orderType.m_nOrderType).arg(QString::fromUtf8(orderType.m_szName)),
            orderType.m_nOrderType);
    }
    selectValue(pOrderType, nOrderType);
    m_pTable->setCellWidget(nRow, COLUMN_ORDER_TYPE, pOrderType);

    auto* pPriceType = new QComboBox(m_pTable);
    for (int nType : s_priceTypes) {
        pPriceType->addItem(ttPriceTypeToString(nType, std::string(), false), nType);
    }
    selectValue(pPriceType, nPriceType);
    m_pTable->setCellWidget(nRow, COLUMN_PRICE_TYPE, pPriceType);
    const QString strComboStyle = comboStyleSheet();
    for (QComboBox* pCombo : {pCode, pOrderType, pPriceType}) {
        pCombo->setStyleSheet(strComboStyle);
    }
}

void CDbfAlgoParamsSettingDialog::showHint(const QString& strText, bool bError)
{
    m_pHint->setText(strText);
    m_pHint->setColorKey(bError ? QStringLiteral("clr_error_text") : QStringLiteral("clr_text_secondary"));
}

} // namespace TC
