#include "ui/MyConsole.h"

#include <cstdio>
#include <unistd.h>

namespace marlinq::ui {

std::int32_t MyConsole::IsExistent = 0;

MyConsole::MyConsole() {
    if (IsExistent != 0) return;
    Attach(680, 166);
    IsExistent = 1;
}

MyConsole::MyConsole(const std::wstring& title, std::int16_t ConsoleHeight, std::int16_t ConsoleWidth) {
    if (IsExistent != 0) return;
    setTitle(title);
    Attach(ConsoleHeight, ConsoleWidth);
    IsExistent = 1;
}

MyConsole::~MyConsole() {
    if (IsExistent == 1) {
        // Nothing to hand back on a terminal: the streams stay usable, unbuffered.
        std::fflush(stdout);
        std::fflush(stderr);
        IsExistent = 0;
    }
}

void MyConsole::Attach(std::int16_t /*ConsoleHeight*/, std::int16_t /*ConsoleWidth*/) {
    // The size of a terminal belongs to its user (and to the terminal emulator), so the
    // requested buffer size is not forced on it. What is pending goes out first: changing
    // the buffering of a stream with unwritten data would lose it.
    std::fflush(stdout);
    std::fflush(stderr);
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
}

void MyConsole::setTitle(const std::wstring& title) {
    // xterm's "set window title" sequence; only a terminal understands it, a file or a
    // pipe would just get the bytes.
    if (!::isatty(STDOUT_FILENO)) return;
    std::string text;
    for (wchar_t c : title) {
        const auto u = static_cast<std::uint32_t>(c);
        if (u < 0x20 || (u >= 0x7f && u < 0xa0)) continue;  // no control characters inside the sequence
        if (u < 0x80) {
            text += static_cast<char>(u);
        } else if (u < 0x800) {
            text += static_cast<char>(0xC0 | (u >> 6));
            text += static_cast<char>(0x80 | (u & 0x3F));
        } else if (u < 0x10000) {
            if (u >= 0xD800 && u <= 0xDFFF) continue;
            text += static_cast<char>(0xE0 | (u >> 12));
            text += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (u & 0x3F));
        } else if (u < 0x110000) {
            text += static_cast<char>(0xF0 | (u >> 18));
            text += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    std::fprintf(stdout, "\033]0;%s\007", text.c_str());
    std::fflush(stdout);
}

}  // namespace marlinq::ui
