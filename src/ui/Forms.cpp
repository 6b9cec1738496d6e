#include "ui/Forms.h"

namespace zw {

TFormMain* FormMain = nullptr;
TFormAbout* FormAbout = nullptr;
TFormMidiDialog* FormMidiDialog = nullptr;
TFormRuleHelp* FormRuleHelp = nullptr;
TFormTranslate* FormTranslate = nullptr;

} // namespace zw
