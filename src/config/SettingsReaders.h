#pragma once

#include "program/ProgrammingCommands.h"

class general;
class wiegand;

// What the settings windows show right now, for building reader commands.
GeneralValues readGeneralValues(const general& window);
ProxValues readProxValues(const wiegand& window);

// Sets every control as a user would, so their change handlers run.
void writeGeneralValues(general& window, const GeneralValues& values);
void writeProxValues(wiegand& window, const ProxValues& values);
