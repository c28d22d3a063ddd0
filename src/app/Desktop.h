#pragma once

// What every window of the program shares with the desktop, set up once before the first
// window, by the program and by the tests alike:
// - Qt's own texts (file dialogs and their questions, standard buttons, the edit boxes'
//   menus) in Italian, from Qt's translation embedded in the program, so that the portable
//   folder stays one program file beside its data;
// - Enter on a focused button presses that button, as Space does, in every window.
namespace Desktop {

void setUp();

} // namespace Desktop
