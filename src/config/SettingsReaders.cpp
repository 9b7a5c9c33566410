#include "SettingsReaders.h"

#include "GeneralSetupWindow.h"
#include "ProxSetupWindow.h"
#include "widgets/DigitBox.h"

#include <QCheckBox>

GeneralValues readGeneralValues(const GeneralSetupWindow& window)
{
    GeneralValues values;
    values.beepOnGoodRead = window.Check5->checkState();
    values.maskingOn = window.Check8->checkState();
    values.hid = window.Check6->checkState();
    values.farpointe = window.Check15->checkState();
    values.awid = window.Check16->checkState();
    values.includeDateTime = window.Check1->checkState();
    values.includeReaderId = window.Check7->checkState();
    values.includeReaderDescription = window.Check18->checkState();
    values.lowPowerSetting = window.Text5[3]->text();
    values.sleepTime = window.Text5[2]->text();
    values.idLength = window.Text5[0]->text();
    values.readerId = window.Text5[7]->text();
    values.readerDescription = window.Text5[8]->text();
    return values;
}

ProxValues readProxValues(const ProxSetupWindow& window)
{
    ProxValues values;
    for (std::size_t i = 0; i < values.Text1.size(); ++i)
        values.Text1[i] = window.Text1[i]->text();
    for (std::size_t i = 0; i < values.Text2.size(); ++i) {
        values.Text2[i] = window.Text2[i]->text();
        values.Text3[i] = window.Text3[i]->text();
    }
    for (int number = 1; number <= 24; ++number)
        values.Check[number] = window.check(number)->checkState();
    return values;
}

void writeGeneralValues(GeneralSetupWindow& window, const GeneralValues& values)
{
    window.Check5->setCheckState(values.beepOnGoodRead);
    window.Check8->setCheckState(values.maskingOn);
    window.Check6->setCheckState(values.hid);
    window.Check15->setCheckState(values.farpointe);
    window.Check16->setCheckState(values.awid);
    window.Check1->setCheckState(values.includeDateTime);
    window.Check7->setCheckState(values.includeReaderId);
    window.Check18->setCheckState(values.includeReaderDescription);
    window.Text5[3]->setText(values.lowPowerSetting);
    window.Text5[2]->setText(values.sleepTime);
    window.Text5[0]->setText(values.idLength);
    window.Text5[7]->setText(values.readerId);
    window.Text5[8]->setText(values.readerDescription);
}

void writeProxValues(ProxSetupWindow& window, const ProxValues& values)
{
    // Checks first: a Const box pins its Start box when it changes.
    for (int number = 1; number <= 24; ++number)
        window.check(number)->setCheckState(values.Check[number]);
    for (std::size_t i = 0; i < values.Text1.size(); ++i)
        window.Text1[i]->setText(values.Text1[i]);
    for (std::size_t i = 0; i < values.Text2.size(); ++i) {
        window.Text2[i]->setText(values.Text2[i]);
        window.Text3[i]->setText(values.Text3[i]);
    }
}
