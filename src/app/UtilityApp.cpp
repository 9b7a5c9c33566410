#include "UtilityApp.h"

#include "CommandMenu.h"
#include "MainWindow.h"
#include "comm/CommunicationsWindow.h"
#include "config/GeneralSetupWindow.h"
#include "config/ProxSetupWindow.h"
#include "core/DigitsForBits.h"
#include "utilities/UtilitiesWindow.h"
#include "widgets/ClickLabel.h"
#include "widgets/DigitBox.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

UtilityApp::UtilityApp(Dialogs* dialogs)
    : m_qtDialogs(dialogs ? nullptr : std::make_unique<QtDialogs>()),
      m_dialogs(dialogs ? *dialogs : *m_qtDialogs)
{
}

UtilityApp::~UtilityApp() = default;

void UtilityApp::start()
{
    m_main = std::make_unique<MainWindow>(m_state, m_dialogs, m_portNames);
    if (m_qtDialogs)
        m_qtDialogs->setParent(m_main.get());
    m_main->show();

    setDefaultSettings();

    // First use of the command menu: it is created here and docks itself.
    m_main->menu().connectionLabel->setTextColor(CommandMenu::kYellow);

    fillDigitsForBits(m_state.digitsForBits);

    m_main->menu().show();
    MainWindow::bringToFront(&m_main->communications());
}

void UtilityApp::setDefaultSettings()
{
    // Set as a user would, in this order, so every change handler runs.
    CommunicationsWindow& comm = m_main->communications();
    comm.serialOption->setChecked(true);
    comm.portOptions[1]->setChecked(true);
    comm.baud9600->setChecked(true);
    comm.addressBox->setText(QString::fromLatin1(kDefaultIpAddress));
    comm.tcpPortBox->setText(QStringLiteral("57"));

    m_main->readerUtilities().addHours->setChecked(true);

    GeneralSetupWindow& gen = m_main->generalSetup();
    gen.beepOnGoodRead->setChecked(true);
    gen.maskingOn->setChecked(false);
    gen.hid->setChecked(true);
    gen.farpointe->setChecked(true);
    gen.awid->setChecked(false);
    gen.lowPowerSettingBox->setText(QStringLiteral("15"));
    gen.sleepTimeBox->setText(QStringLiteral("0"));
    gen.idLengthBox->setText(QStringLiteral("20"));
    gen.readerIdBox->setText(QString());
    gen.readerDescriptionBox->setText(QString());
    gen.includeDateTime->setChecked(true);
    gen.includeReaderDescription->setChecked(false);

    // Format 1 is a 26-bit card; formats 2 and 3 and the masks are all zero.
    ProxSetupWindow& prox = m_main->proxSetup();
    for (const ProxSetupWindow::FormatControls& format : prox.formats) {
        format.totalBits->setText(QStringLiteral("00"));
        for (const ProxSetupWindow::FieldControls& field : format.fields) {
            for (DigitBox* box : {field.start, field.length, field.chars})
                box->setText(QStringLiteral("00"));
            field.lsb->setChecked(false);
        }
    }
    const ProxSetupWindow::FormatControls& formatOne = prox.formats[0];
    const std::pair<DigitBox*, const char*> formatOneValues[] = {
        {formatOne.fields[0].start, "02"},  {formatOne.fields[0].length, "08"},
        {formatOne.fields[0].chars, "03"},  {formatOne.fields[1].start, "10"},
        {formatOne.fields[1].length, "16"}, {formatOne.fields[1].chars, "05"},
        {formatOne.totalBits, "26"}};
    for (const auto& [box, text] : formatOneValues)
        box->setText(QString::fromLatin1(text));
    for (const ProxSetupWindow::MaskControls& mask : prox.masks) {
        for (const ProxSetupWindow::MaskRowControls& row : mask) {
            row.constant->setChecked(false);
            row.start->setText(QStringLiteral("00"));
            row.value->setText(QStringLiteral("000"));
        }
    }
}
