#pragma once

#include "SettingsValues.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Every value of the general setup and prox format windows, as a file a
// person can read and diff (indented JSON, keys named after the captions).
struct Profile
{
    static constexpr int kFormatVersion = 1;

    GeneralValues general;
    ProxValues prox;
};

struct ProfileReadResult
{
    // Set only when every entry passed the checks the controls apply.
    std::optional<Profile> profile;
    // One line per entry that is wrong, saying where and why.
    QStringList errors;
};

QByteArray profileToJson(const Profile& profile);
ProfileReadResult profileFromJson(const QByteArray& json);

// Writes the whole file or nothing: an existing file is replaced only once
// the new one is complete. On failure, error says why.
bool saveProfile(const QString& path, const Profile& profile, QString* error);
ProfileReadResult loadProfile(const QString& path);
