#pragma once

#include "comm/SerialPortNames.h"
#include "core/AppState.h"
#include "core/Dialogs.h"

#include <memory>

class MainWindow;

// One running utility: its shared state, its dialogs and its main window.
// Tests build a fresh one for each case.
class UtilityApp
{
public:
    static constexpr const char* kDefaultIpAddress = "192.168.1.100";

    // With no dialogs given, real message boxes and file dialogs are used.
    explicit UtilityApp(Dialogs* dialogs = nullptr);
    ~UtilityApp();

    // The start-up procedure: main window, start values, command menu and
    // the communications window in front.
    void start();
    void setDefaultSettings();

    AppState& state() { return m_state; }
    SerialPortNames& portNames() { return m_portNames; }
    MainWindow& main() { return *m_main; }

private:
    AppState m_state;
    SerialPortNames m_portNames;
    std::unique_ptr<QtDialogs> m_qtDialogs;
    Dialogs& m_dialogs;
    std::unique_ptr<MainWindow> m_main;
};
