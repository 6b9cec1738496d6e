#include "midi/MidiPort.h"

#include "midi/MidiCallback.h"

namespace zw {

TMidiPort::TMidiPort(QObject* owner, TMidiBinding* binding)
    : QObject(owner),
      FBinding(binding ? *binding : MidiBinding()),
      FNotificationWindow(std::make_unique<TMidiNotifier>(
          [this](TMidiNotice notice, uintptr_t param) { NoticeReceived(notice, param); }))
{
}

TMidiPort::~TMidiPort()
{
    ReleaseCallbackBlock();
}

std::string TMidiPort::ErrorText(TMidiResult code) const
{
    std::string text;
    if (!DriverErrorText(code, text))
        return "Specified error number is out of range";
    return text;
}

void TMidiPort::Check(TMidiResult result)
{
    FError = result;
    if (result != MMSYSERR_NOERROR)
        Raise(ErrorText(result));
}

uintptr_t TMidiPort::CallbackInstance()
{
    if (!FCallbackBlock) {
        FCallbackBlock = AllocCallbackBlock();
        if (!FCallbackBlock)
            Check(MMSYSERR_NOMEM);
    }
    FCallbackBlock->NotificationWindow = FNotificationWindow.get();
    return reinterpret_cast<uintptr_t>(FCallbackBlock);
}

void TMidiPort::ReleaseCallbackBlock()
{
    FreeCallbackBlock(FCallbackBlock);
    FCallbackBlock = nullptr;
}

void TMidiPort::StopNotices()
{
    FNotificationWindow.reset();
}

} // namespace zw
