// What assistive technology (a screen reader, through the platform's
// accessibility bridge) learns of the program's own controls, which Qt
// cannot know by itself:
// - a top-level window is a window, not an unnamed filler;
// - a panel with a name is a group of that name;
// - TProgressBarXP is a progress bar with its position as value, each
//   change reported;
// - TLinkLabel, and a TImage that can be clicked, are links with a press
//   action; a TImage that cannot is a graphic;
// - TStatusLine is a status bar named by its text.
// Names of controls that have no text of their own are set in the window
// layouts (accessibleName).
#pragma once

namespace skarvet {

// Installs the program's accessible interfaces into Qt. Call once the
// application object exists; later calls do nothing.
void InstallAccessibleInterfaces();

} // namespace skarvet
