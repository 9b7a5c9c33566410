#include "UtilityApp.h"

#include "CommandMenu.h"
#include "DigitsForBits.h"
#include "MainWindow.h"
#include "comm/CommunicationsWindow.h"
#include "config/GeneralSetupWindow.h"
#include "config/ProxSetupWindow.h"
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

    SetDefaultSettings();

    // First use of the command menu: it is created here and docks itself.
    m_main->menu().connectionLabel->setTextColor(CommandMenu::kYellow);

    fillDigitsForBits(m_state.DigitsForBits);

    m_main->menu().show();
    MainWindow::bringToFront(&m_main->communications());
}

void UtilityApp::SetDefaultSettings()
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
    gen.Check5->setChecked(true);
    gen.Check8->setChecked(false);
    gen.Check6->setChecked(true);
    gen.Check15->setChecked(false);
    gen.Check16->setChecked(false);
    gen.Text5[3]->setText(QStringLiteral("15"));
    gen.Text5[2]->setText(QStringLiteral("0"));
    gen.Text5[0]->setText(QStringLiteral("20"));
    gen.Text5[7]->setText(QString());
    gen.Text5[8]->setText(QString());
    gen.Check1->setChecked(true);
    gen.Check18->setChecked(false);
    gen.Check6->setChecked(true);
    gen.Check15->setChecked(true);

    ProxSetupWindow& prox = m_main->proxSetup();
    const std::pair<int, const char*> formatOne[] = {{1, "02"}, {4, "08"}, {6, "03"}, {0, "10"},
                                                     {5, "16"}, {7, "05"}, {3, "26"}};
    for (const auto& [index, text] : formatOne)
        prox.Text1[index]->setText(QString::fromLatin1(text));
    for (int index : {2, 8, 9})
        prox.Text1[index]->setText(QStringLiteral("00"));
    for (int index = 10; index <= 29; ++index)
        prox.Text1[index]->setText(QStringLiteral("00"));
    for (int number :
         {1, 2, 3, 14, 15, 16, 22, 23, 24, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 17, 18, 19, 20, 21})
        prox.check(number)->setChecked(false);
    for (int index = 0; index < 15; ++index)
        prox.Text2[index]->setText(QStringLiteral("00"));
    for (int index = 0; index < 15; ++index)
        prox.Text3[index]->setText(QStringLiteral("000"));
}
