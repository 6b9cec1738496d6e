#pragma once

#include "midi/MidiBinding.h"
#include "midi/MidiDriverApi.h"

#include <QObject>

#include <memory>
#include <string>

namespace zw {

class TMidiNotifier;
enum class TMidiNotice;
struct TCallbackBlock;

// What an input and an output port share: the binding they talk to, the
// object in the GUI thread that receives the driver's notices, the block the
// driver callback gets as its instance value, and turning a result code into
// the port's own error.
class TMidiPort : public QObject {
    Q_OBJECT
public:
    ~TMidiPort() override;

    TMidiBinding& Binding() const { return FBinding; }

    // The binding's text for `code`, or a text saying that it has none.
    std::string ErrorText(TMidiResult code) const;

protected:
    // `binding` null: the process-wide MidiBinding() (see MidiBinding.h).
    TMidiPort(QObject* owner, TMidiBinding* binding);

    // Records the code; raises ErrorText(result) as the port's error when nonzero.
    void Check(TMidiResult result);
    // The instance value for opening a device: the callback block, made on
    // first use and pointed at this port's notifier. Raises when memory is out.
    uintptr_t CallbackInstance();
    TCallbackBlock* CallbackBlock() const { return FCallbackBlock; }
    void ReleaseCallbackBlock();
    // Drops the notices still queued; after this none reaches NoticeReceived.
    void StopNotices();

    TMidiBinding& FBinding;
    TMidiResult FError = 0;

private:
    virtual void NoticeReceived(TMidiNotice notice, uintptr_t param) = 0;
    virtual bool DriverErrorText(TMidiResult code, std::string& text) const = 0;
    [[noreturn]] virtual void Raise(const std::string& message) const = 0;

    std::unique_ptr<TMidiNotifier> FNotificationWindow;
    TCallbackBlock* FCallbackBlock = nullptr;
};

} // namespace zw
