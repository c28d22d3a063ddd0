#pragma once

// What every window of the program shares with the desktop, set up once before the first
// window, by the program and by the tests alike:
// - Qt's own texts (file dialogs and their questions, standard buttons, the edit boxes'
//   menus) in Italian, from Qt's translation embedded in the program, so that the portable
//   folder stays one program file beside its data;
// - Enter on a focused button presses that button, as Space does, in every window.
#include <QString>

class QPushButton;
class QWidget;

namespace Desktop {

void setUp();

// Every window fits the screen it opens on, however small the screen or large its scale
// factor. A window builds its contents on content(window), a widget inside a frameless
// scroll area that fills the window (a main window's central widget is put in one by
// fitToScreen()); once built, fitToScreen() sizes the window. Where the window fits the
// screen's available area nothing changes; otherwise its minimum size and its size are
// cut to that area and the contents scroll.
QWidget *content(QWidget *window);

enum class Fit {
    Fixed,     // a fixed-size window, as large as its contents
    Resizable, // a window with its own minimum size and size, already set
};
void fitToScreen(QWidget *window, Fit fit);

// A push button named for the tests, with a width of its own at the least, that Enter in a
// window's edit boxes never presses by itself.
QPushButton *button(QWidget *parent, const char *name, const QString &text, int minimumWidth = 105);

} // namespace Desktop
