// The window toolkit operations the program's logic uses, on Qt: twips geometry, message boxes,
// the hourglass pointer, the folder chooser; each modal piece has a seam for tests.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QCheckBox;
class QWidget;
class QWindow;

namespace orv {

inline const QString kAppTitle = QStringLiteral("Orvantis");

// Screen.TwipsPerPixelX / Y: 1440 / logical DPI of the primary screen (15 at 96 DPI).
float TwipsPerPixelX();
float TwipsPerPixelY();
// Twips to whole pixels, ties to even.
int TwipsToPxX(double twips);
int TwipsToPxY(double twips);
// Places w at a rectangle given in twips, relative to its parent.
void PlaceTwips(QWidget* w, double left, double top, double width, double height);

// Bound of the wait below. A display server maps and exposes a window within a few milliseconds;
// the bound only matters where none ever does, and there the program goes on.
inline constexpr int kExposureWaitMs = 2000;

// Handles every event but user input (which waits its turn) until the top-level widget w is
// exposed on the screen, at most maxMs. True when it is.
bool WaitForExposure(QWidget* w, int maxMs = kExposureWaitMs);

// Paints the top-level widget w at once and hands the picture to the display server, so that it
// is on the screen before a long job blocks the user interface. Waits for the exposure first.
void RepaintNow(QWidget* w);

// Keeps the toolkit's active window in step with the X display's keyboard focus for the top-level
// widget w, for w's lifetime. The toolkit can lose track of it: a focus that comes back to w
// while a modal dialog is still up is handed on to the dialog, and where the dialog is gone
// before the window manager acts on that, nothing tells the toolkit again; w then gets the keys
// but not as the active window: its access keys type their letters, the input method is not
// asked. Whenever the toolkit has no focus window shown (its focus window changed to none, or
// another top-level window such as a dialog went) while the display's focus is on w, w becomes
// its focus window again.
void FollowKeyboardFocus(QWidget* w);

// Makes w the active window once a job is over: at once where the display's focus is on it
// already, else by asking the window manager.
void TakeKeyboardFocus(QWidget* w);

// The program runs as a native Wayland client: the compositor places its windows, and tells it
// neither where they are nor lets it move them.
bool NativeWayland();

// Ends the input method's composition in the focused control: the text being converted becomes
// part of the control's text, as Enter makes it. Anything that reads text boxes runs this first.
void CommitComposition();

// Alt with a key that is no control's access key reaches the focused control as a key press; in
// the window w it does nothing, instead of typing the letter into a text box.
void IgnoreUnboundAltKeys(QWidget* w);

// Shows w's tool tip as plain text, as its label shows its caption (a tool tip would otherwise
// take text that looks like markup for markup).
void KeepToolTipPlain(QWidget* w);

// A check box's Value: 0 unchecked, 1 checked, 2 greyed; setting anything else unchecks it.
int checkValue(const QCheckBox* box);
void setCheckValue(QCheckBox* box, int v);

// Message boxes, titled with the application title. Style: OK only, or OK with the stop icon.
enum class MsgStyle { OkOnly, Critical };
void MsgBox(QWidget* parent, const QString& text, MsgStyle style = MsgStyle::OkOnly);

// Tests replace the modal box: every message goes to the hook instead of a window.
struct MsgBoxHook {
    static void install(std::function<void(const QString& text, MsgStyle style)> hook);
    static void remove();
};

// Screen.MousePointer's values this program uses.
inline constexpr int kDefaultPointer = 0;
inline constexpr int kHourglassPointer = 11;
void SetMousePointer(int pointer);

// A folder chooser restricted to directories; empty text on cancel. selected: the folder chosen
// before, which the chooser opens with selected (empty: none).
QString BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder, const QString& selected = {});

struct FolderChooserHook {
    // The next BrowseForFolder returns these answers in turn instead of showing a dialog
    // (an empty text is a cancel).
    static void setNextFolders(const QStringList& answers);
    static int calls();
    static QString lastSelected(); // what the last call had selected
    static void remove();
};

} // namespace orv
