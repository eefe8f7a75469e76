#include "search/jumphistory.h"

void JumpHistory::push(QList<JumpPlace> &places, const JumpPlace &place)
{
    if (place.file.isEmpty() || (!places.isEmpty() && places.last() == place))
        return; // nothing to come back to, or the same place twice in a row
    places.append(place);
    if (places.size() > kMaxPlaces)
        places.removeFirst();
}

void JumpHistory::leave(const JumpPlace &here)
{
    if (here.file.isEmpty())
        return;
    push(m_back, here);
    m_forward.clear();
}

std::optional<JumpPlace> JumpHistory::back(const JumpPlace &here)
{
    while (!m_back.isEmpty()) {
        const JumpPlace place = m_back.takeLast();
        if (place == here)
            continue; // already there: the one before
        push(m_forward, here);
        return place;
    }
    return std::nullopt;
}

std::optional<JumpPlace> JumpHistory::forward(const JumpPlace &here)
{
    while (!m_forward.isEmpty()) {
        const JumpPlace place = m_forward.takeLast();
        if (place == here)
            continue;
        push(m_back, here);
        return place;
    }
    return std::nullopt;
}
