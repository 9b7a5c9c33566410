#include "SettingsReaders.h"

#include "general.h"
#include "widgets/DigitBox.h"
#include "wiegand.h"

#include <QCheckBox>

GeneralValues readGeneralValues(const general& window)
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

ProxValues readProxValues(const wiegand& window)
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
