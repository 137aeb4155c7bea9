#pragma once
// The main window's placement in section "Main" of the settings file: its
// bounds, the maximised state, the column widths and the toolbar captions.

namespace vexlo::app {

class TMainForm;

class WindowPlacement {
public:
    // Applied before the native window exists, so a window manager places the
    // frame at the stored Left/Top.
    static void load(TMainForm& form);
    // A maximised window writes only "Maximized"; a silent one writes nothing.
    static void save(const TMainForm& form);
};

} // namespace vexlo::app
