#pragma once

#include "ProxSetupWindow.h"
#include "SettingsValues.h"

class GeneralSetupWindow;

// What the settings windows show right now, for building reader commands.
GeneralValues readGeneralValues(const GeneralSetupWindow& window);
ProxValues readProxValues(const ProxSetupWindow& window);

// Sets every control as a user would, so their change handlers run.
void writeGeneralValues(GeneralSetupWindow& window, const GeneralValues& values);
void writeProxValues(ProxSetupWindow& window, const ProxValues& values);
void writeProxFormat(const ProxSetupWindow::FormatControls& format, const ProxFormatValues& values);
