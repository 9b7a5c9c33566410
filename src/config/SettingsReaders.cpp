#include "SettingsReaders.h"

#include "GeneralSetupWindow.h"
#include "widgets/DigitBox.h"

#include <QCheckBox>

namespace {

// Each check box of the general setup window beside its value, and each text
// box likewise, so reading and writing walk the same pairs.
template <typename Window, typename Values> auto generalChecks(Window& window, Values& values)
{
    return std::array{
        std::pair{window.beepOnGoodRead, &values.beepOnGoodRead},
        std::pair{window.maskingOn, &values.maskingOn},
        std::pair{window.hid, &values.hid},
        std::pair{window.farpointe, &values.farpointe},
        std::pair{window.awid, &values.awid},
        std::pair{window.includeDateTime, &values.includeDateTime},
        std::pair{window.includeReaderId, &values.includeReaderId},
        std::pair{window.includeReaderDescription, &values.includeReaderDescription},
    };
}

template <typename Window, typename Values> auto generalTexts(Window& window, Values& values)
{
    return std::array{
        std::pair{window.lowPowerSettingBox, &values.lowPowerSetting},
        std::pair{window.sleepTimeBox, &values.sleepTime},
        std::pair{window.idLengthBox, &values.idLength},
        std::pair{window.readerIdBox, &values.readerId},
        std::pair{window.readerDescriptionBox, &values.readerDescription},
    };
}

} // namespace

GeneralValues readGeneralValues(const GeneralSetupWindow& window)
{
    GeneralValues values;
    for (const auto& [box, state] : generalChecks(window, values))
        *state = box->checkState();
    for (const auto& [box, text] : generalTexts(window, values))
        *text = box->text();
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
    for (const auto& [box, state] : generalChecks(window, values))
        box->setCheckState(*state);
    for (const auto& [box, text] : generalTexts(window, values))
        box->setText(*text);
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
