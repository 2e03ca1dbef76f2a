#pragma once
// Message boxes of the player's logic. The window implements it (a call from the status thread
// blocks that thread until the box is answered); tests answer from a script.

#include <string>

namespace orvane::cdplayer {

class Messenger {
public:
    virtual ~Messenger() = default;
    // A modal box; an empty caption means the program's default caption. Returns IDOK, IDYES ...
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
};

}  // namespace orvane::cdplayer
