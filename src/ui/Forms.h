#pragma once

// One reference per window. The program start sets each when it creates the
// window, in its creation order, and clears it when the window goes; a window
// created later than the one using it may still be empty, so every user checks.
namespace zw {

class TFormMain;
class TFormAbout;
class TFormMidiDialog;
class TFormRuleHelp;
class TFormTranslate;

extern TFormMain* FormMain;
extern TFormAbout* FormAbout;
extern TFormMidiDialog* FormMidiDialog;
extern TFormRuleHelp* FormRuleHelp;
extern TFormTranslate* FormTranslate;

} // namespace zw
