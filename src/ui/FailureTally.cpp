#include "ui/FailureTally.h"

namespace zw {

void TFailureTally::Add(const QString& message)
{
    // Counted on only while the line still shows this count.
    if (message != FMessage || FLine.Message(FTopic) != FShown) {
        FMessage = message;
        FCount = 0;
    }
    ++FCount;
    FShown = FCount == 1 ? message : QString("%1 (%2 times)").arg(message).arg(FCount);
    FLine.Show(FTopic, FShown);
}

void TFailureTally::Reset()
{
    FMessage.clear();
    FShown.clear();
    FCount = 0;
}

} // namespace zw
