#include "Profile.h"

#include "SettingsLimits.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <variant>
#include <vector>

using namespace settingslimits;

namespace {

const QString kKindKey = QStringLiteral("kind");
const QString kKind = QStringLiteral("KARVEL Utility settings profile");
const QString kVersionKey = QStringLiteral("version");

// One value of the windows: where it lives in the file and in the values.
struct Binding
{
    QStringList path;
    std::variant<QString*, Qt::CheckState*> value;
    int digits = 0; // text fields only
};

std::vector<Binding> bindingsOf(Profile& p)
{
    std::vector<Binding> list;
    const QString generalSection = QStringLiteral("General Setup");
    auto check = [&](const char* caption, Qt::CheckState& state) {
        list.push_back({{generalSection, QString::fromLatin1(caption)}, &state});
    };
    auto text = [&](const char* caption, QString& value, int digits) {
        list.push_back({{generalSection, QString::fromLatin1(caption)}, &value, digits});
    };
    GeneralValues& g = p.general;
    check("Beep on Good Read", g.beepOnGoodRead);
    check("Masking On", g.maskingOn);
    check("HID", g.hid);
    check("Farpointe", g.farpointe);
    check("AWID", g.awid);
    check("Include Date/Time", g.includeDateTime);
    check("Include Reader ID", g.includeReaderId);
    check("Include Reader Description", g.includeReaderDescription);
    text("Low Power Setting", g.lowPowerSetting, kLowPowerDigits);
    text("Sleep Time", g.sleepTime, kSleepTimeDigits);
    text("ID Length", g.idLength, kIdLengthDigits);
    text("Reader ID", g.readerId, kReaderIdDigits);
    text("Reader Description", g.readerDescription, kReaderDescriptionDigits);

    const QString proxSection = QStringLiteral("Prox Setup");
    ProxValues& x = p.prox;
    const QStringList fieldNames{QStringLiteral("Site"), QStringLiteral("ID"),
                                 QStringLiteral("Issue")};
    for (int f = 0; f < kProxFormatCount; ++f) {
        const QString group = QStringLiteral("Prox Format # %1").arg(f + 1);
        ProxFormatValues& format = x.formats[f];
        for (int k = 0; k < 3; ++k) {
            ProxFieldValues& field = format.fields[k];
            const QStringList at{proxSection, group, fieldNames[k]};
            list.push_back(
                {at + QStringList{QStringLiteral("Start")}, &field.start, kFormatStartDigits});
            list.push_back(
                {at + QStringList{QStringLiteral("Length")}, &field.length, kFormatLengthDigits});
            list.push_back({at + QStringList{QStringLiteral("Lsb")}, &field.lsb});
            list.push_back(
                {at + QStringList{QStringLiteral("Chars")}, &field.chars, kFormatCharsDigits});
        }
        list.push_back({{proxSection, group, QStringLiteral("Total Bits")},
                        &format.totalBits,
                        kTotalBitsDigits});
    }
    for (int m = 0; m < kProxMaskCount; ++m) {
        for (int r = 0; r < kProxMaskRows; ++r) {
            ProxMaskRowValues& row = x.masks[m][r];
            const QStringList at{proxSection, QStringLiteral("Prox Mask %1").arg(m + 1),
                                 QStringLiteral("Mask %1").arg(r + 1)};
            list.push_back({at + QStringList{QStringLiteral("Const")}, &row.constant});
            list.push_back(
                {at + QStringList{QStringLiteral("Start")}, &row.start, kMaskStartDigits});
            list.push_back(
                {at + QStringList{QStringLiteral("Len/Value")}, &row.value, kLenValueDigits});
        }
    }
    return list;
}

QString checkText(Qt::CheckState state)
{
    switch (state) {
    case Qt::Checked:
        return QStringLiteral("checked");
    case Qt::PartiallyChecked:
        return QStringLiteral("grey");
    case Qt::Unchecked:
        break;
    }
    return QStringLiteral("unchecked");
}

std::optional<Qt::CheckState> checkFromText(const QString& text)
{
    if (text == QLatin1String("checked"))
        return Qt::Checked;
    if (text == QLatin1String("grey"))
        return Qt::PartiallyChecked;
    if (text == QLatin1String("unchecked"))
        return Qt::Unchecked;
    return std::nullopt;
}

void setAt(QJsonObject& object, const QStringList& path, const QJsonValue& value)
{
    if (path.size() == 1) {
        object.insert(path.first(), value);
        return;
    }
    QJsonObject inner = object.value(path.first()).toObject();
    setAt(inner, path.mid(1), value);
    object.insert(path.first(), inner);
}

QJsonValue valueAt(const QJsonObject& object, const QStringList& path)
{
    const QJsonValue value = object.value(path.first());
    if (path.size() == 1 || !value.isObject())
        return path.size() == 1 ? value : QJsonValue(QJsonValue::Undefined);
    return valueAt(value.toObject(), path.mid(1));
}

// The same rule the digit boxes apply to what is typed or pasted.
QString textProblem(const QString& text, int digits)
{
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return QStringLiteral("\"%1\" holds a character other than a digit").arg(text);
    }
    if (text.size() > digits)
        return QStringLiteral("\"%1\" is longer than %2 digits").arg(text).arg(digits);
    return {};
}

} // namespace

QByteArray profileToJson(const Profile& profile)
{
    Profile copy = profile;
    QJsonObject root;
    root.insert(kKindKey, kKind);
    root.insert(kVersionKey, Profile::kFormatVersion);
    for (const Binding& binding : bindingsOf(copy)) {
        if (const auto* text = std::get_if<QString*>(&binding.value))
            setAt(root, binding.path, **text);
        else
            setAt(root, binding.path, checkText(*std::get<Qt::CheckState*>(binding.value)));
    }
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

ProfileReadResult profileFromJson(const QByteArray& json)
{
    ProfileReadResult result;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    const QJsonObject root = document.object();
    if (parseError.error != QJsonParseError::NoError || !document.isObject() ||
        root.value(kKindKey).toString() != kKind) {
        result.errors << QStringLiteral("This file is not a settings profile.");
        return result;
    }
    const int version = root.value(kVersionKey).toInt(-1);
    if (version != Profile::kFormatVersion) {
        result.errors << (version > Profile::kFormatVersion
                              ? QStringLiteral("This profile is format version %1, written by a "
                                               "newer utility; this one reads version %2.")
                                    .arg(version)
                                    .arg(Profile::kFormatVersion)
                              : QStringLiteral("This profile has no valid format version."));
        return result;
    }

    Profile profile;
    for (const Binding& binding : bindingsOf(profile)) {
        const QString where = binding.path.join(QStringLiteral(" / ")) + QStringLiteral(": ");
        const QJsonValue value = valueAt(root, binding.path);
        if (!value.isString()) {
            result.errors << where + (value.isUndefined() ? QStringLiteral("missing")
                                                          : QStringLiteral("not a text"));
            continue;
        }
        const QString text = value.toString();
        if (auto* field = std::get_if<QString*>(&binding.value)) {
            const QString problem = textProblem(text, binding.digits);
            if (problem.isEmpty())
                **field = text;
            else
                result.errors << where + problem;
        } else if (const auto state = checkFromText(text)) {
            *std::get<Qt::CheckState*>(binding.value) = *state;
        } else {
            result.errors
                << where + QStringLiteral("\"%1\" is not checked, unchecked or grey").arg(text);
        }
    }
    // A constant mask row has its Start pinned by the window.
    for (int m = 0; m < kProxMaskCount; ++m) {
        for (int r = 0; r < kProxMaskRows; ++r) {
            const ProxMaskRowValues& row = profile.prox.masks[m][r];
            if (row.constant == Qt::Checked && row.start != QLatin1String(kConstStart)) {
                result.errors << QStringLiteral("Prox Setup / Prox Mask %1 / Mask %2: Const is "
                                                "checked, so Start must be \"%3\", not \"%4\"")
                                     .arg(m + 1)
                                     .arg(r + 1)
                                     .arg(QLatin1String(kConstStart), row.start);
            }
        }
    }
    if (result.errors.isEmpty())
        result.profile = profile;
    return result;
}

bool saveProfile(const QString& path, const Profile& profile, QString* error)
{
    QSaveFile file(path);
    const QByteArray json = profileToJson(profile);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

ProfileReadResult loadProfile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ProfileReadResult result;
        result.errors << QStringLiteral("%1 could not be read: %2").arg(path, file.errorString());
        return result;
    }
    return profileFromJson(file.readAll());
}
