#include "SettingsReaders.h"

#include "GeneralSetupWindow.h"
#include "widgets/DigitBox.h"

#include <QCheckBox>

GeneralValues readGeneralValues(const GeneralSetupWindow& window)
{
    GeneralValues values;
    values.beepOnGoodRead = window.beepOnGoodRead->checkState();
    values.maskingOn = window.maskingOn->checkState();
    values.hid = window.hid->checkState();
    values.farpointe = window.farpointe->checkState();
    values.awid = window.awid->checkState();
    values.includeDateTime = window.includeDateTime->checkState();
    values.includeReaderId = window.includeReaderId->checkState();
    values.includeReaderDescription = window.includeReaderDescription->checkState();
    values.lowPowerSetting = window.lowPowerSettingBox->text();
    values.sleepTime = window.sleepTimeBox->text();
    values.idLength = window.idLengthBox->text();
    values.readerId = window.readerIdBox->text();
    values.readerDescription = window.readerDescriptionBox->text();
    return values;
}

ProxValues readProxValues(const ProxSetupWindow& window)
{
    ProxValues values;
    for (int f = 0; f < kProxFormatCount; ++f) {
        const ProxSetupWindow::FormatControls& format = window.formats[f];
        values.formats[f].totalBits = format.totalBits->text();
        for (std::size_t k = 0; k < format.fields.size(); ++k) {
            const ProxSetupWindow::FieldControls& field = format.fields[k];
            values.formats[f].fields[k] = {field.start->text(), field.length->text(),
                                           field.chars->text(), field.lsb->checkState()};
        }
    }
    for (int m = 0; m < kProxMaskCount; ++m) {
        for (int r = 0; r < kProxMaskRows; ++r) {
            const ProxSetupWindow::MaskRowControls& row = window.masks[m][r];
            values.masks[m][r] = {row.start->text(), row.value->text(), row.constant->checkState()};
        }
    }
    return values;
}

void writeGeneralValues(GeneralSetupWindow& window, const GeneralValues& values)
{
    window.beepOnGoodRead->setCheckState(values.beepOnGoodRead);
    window.maskingOn->setCheckState(values.maskingOn);
    window.hid->setCheckState(values.hid);
    window.farpointe->setCheckState(values.farpointe);
    window.awid->setCheckState(values.awid);
    window.includeDateTime->setCheckState(values.includeDateTime);
    window.includeReaderId->setCheckState(values.includeReaderId);
    window.includeReaderDescription->setCheckState(values.includeReaderDescription);
    window.lowPowerSettingBox->setText(values.lowPowerSetting);
    window.sleepTimeBox->setText(values.sleepTime);
    window.idLengthBox->setText(values.idLength);
    window.readerIdBox->setText(values.readerId);
    window.readerDescriptionBox->setText(values.readerDescription);
}

void writeProxFormat(const ProxSetupWindow::FormatControls& format, const ProxFormatValues& values)
{
    format.totalBits->setText(values.totalBits);
    for (std::size_t k = 0; k < format.fields.size(); ++k) {
        const ProxSetupWindow::FieldControls& field = format.fields[k];
        field.start->setText(values.fields[k].start);
        field.length->setText(values.fields[k].length);
        field.lsb->setCheckState(values.fields[k].lsb);
        field.chars->setText(values.fields[k].chars);
    }
}

void writeProxValues(ProxSetupWindow& window, const ProxValues& values)
{
    for (int f = 0; f < kProxFormatCount; ++f)
        writeProxFormat(window.formats[f], values.formats[f]);
    for (int m = 0; m < kProxMaskCount; ++m) {
        for (int r = 0; r < kProxMaskRows; ++r) {
            const ProxSetupWindow::MaskRowControls& row = window.masks[m][r];
            const ProxMaskRowValues& value = values.masks[m][r];
            // Const first: it pins the Start box when it changes.
            row.constant->setCheckState(value.constant);
            row.start->setText(value.start);
            row.value->setText(value.value);
        }
    }
}
