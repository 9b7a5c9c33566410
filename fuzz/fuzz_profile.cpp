// Settings profiles as a user's file may hold them: whatever the reader
// accepts must save to the same text again and survive a trip through the
// setup windows unchanged; whatever it refuses must say why.
#include "FuzzApp.h"

#include "config/GeneralSetupWindow.h"
#include "config/Profile.h"
#include "config/ProxSetupWindow.h"
#include "config/SettingsReaders.h"

#include <cstdio>

namespace {
GeneralSetupWindow* generalWindow = nullptr;
ProxSetupWindow* proxWindow = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzApplication();
    // The windows are the only store of these values once a profile is opened.
    generalWindow = new GeneralSetupWindow(nullptr);
    proxWindow = new ProxSetupWindow(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray file(reinterpret_cast<const char*>(data), qsizetype(size));
    const ProfileReadResult read = profileFromJson(file);
    // Exactly one of: a profile, or reasons why not.
    FUZZ_CHECK(read.profile.has_value() == read.errors.isEmpty());
    if (!read.profile)
        return 0;

    const QByteArray saved = profileToJson(*read.profile);
    const ProfileReadResult again = profileFromJson(saved);
    FUZZ_CHECK(again.profile.has_value());
    FUZZ_CHECK(profileToJson(*again.profile) == saved);

    writeGeneralValues(*generalWindow, read.profile->general);
    writeProxValues(*proxWindow, read.profile->prox);
    Profile shown;
    shown.general = readGeneralValues(*generalWindow);
    shown.prox = readProxValues(*proxWindow);
    FUZZ_CHECK(profileToJson(shown) == saved);
    return 0;
}
