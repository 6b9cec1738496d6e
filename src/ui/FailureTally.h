#pragma once

#include "ui/StatusLine.h"

#include <QString>

namespace zw {

// A failure that comes back at every automation tick is told once, in the
// status line, with how often it came: a box per tick would stand in the
// user's way and come back as soon as it is closed. Another failure takes
// the place of the one shown and starts its own count.
class TFailureTally {
public:
    TFailureTally(TStatusLine& line, TStatusTopic topic) : FLine(line), FTopic(topic) {}

    void Add(const QString& message);
    // Forgets the count; the message stays until the topic shows another.
    void Reset();
    int Count() const { return FCount; }

private:
    TStatusLine& FLine;
    TStatusTopic FTopic;
    QString FMessage;
    QString FShown;
    int FCount = 0;
};

} // namespace zw
