#pragma once

#include <QList>
#include <QString>

#include <optional>

/** A place in a file: its absolute path and a byte offset in its text. */
struct JumpPlace
{
    QString file;
    qsizetype offset = 0;
    bool operator==(const JumpPlace &other) const = default;
};

/**
 * The way back and forth across jumps (Alt+Left, Alt+Right): each jump leaves the
 * place it started from; going back keeps the place left so that forward returns
 * to it. A new jump ends the way forward, as a browser's history does.
 */
class JumpHistory
{
public:
    static constexpr qsizetype kMaxPlaces = 100;

    /** A jump starts at `here`. A place of no file is not kept. */
    void leave(const JumpPlace &here);
    /** The place to go back to from `here`, which forward then returns to; none when there is none. */
    std::optional<JumpPlace> back(const JumpPlace &here);
    /** The place to go forward to from `here`; none when there is none. */
    std::optional<JumpPlace> forward(const JumpPlace &here);
    qsizetype backCount() const { return m_back.size(); }
    qsizetype forwardCount() const { return m_forward.size(); }

private:
    static void push(QList<JumpPlace> &places, const JumpPlace &place);
    QList<JumpPlace> m_back;
    QList<JumpPlace> m_forward;
};
