#pragma once

#include <QLabel>
#include <QString>

#include <array>
#include <cstddef>

namespace zw {

// What a status message is about. Several may stand at once; the line shows
// the first that has a message, in this order: what keeps the user from
// hearing anything comes before what merely informs.
enum class TStatusTopic { Sound, Instruments, Midi, Breeding, Channels, Hint };

// The main window's one-line status, below the breeders. Each topic keeps its
// own message, so one part of the program clearing its message never hides
// another's. The full list of messages is the line's tooltip. Every message
// but a hint is also written to stderr, the program's log.
class TStatusLine : public QLabel {
    Q_OBJECT

public:
    explicit TStatusLine(QWidget* parent = nullptr);

    // Sets the message of `topic`; an empty one clears it.
    void Show(TStatusTopic topic, const QString& message);
    void Clear(TStatusTopic topic) { Show(topic, QString()); }
    const QString& Message(TStatusTopic topic) const { return FMessages.at(Index(topic)); }
    // The message as drawn: cut to the line's width with an ellipsis.
    QString ShownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr std::size_t kTopicCount = static_cast<std::size_t>(TStatusTopic::Hint) + 1;
    static std::size_t Index(TStatusTopic topic) { return static_cast<std::size_t>(topic); }
    void Refresh();

    std::array<QString, kTopicCount> FMessages;
};

} // namespace zw
