#pragma once
// The console of the process: the standard streams made unbuffered so that the plain-text
// messages of the computation appear at once on the terminal that started the program.
// On Linux a program already shares its parent's terminal; "creating" the console means
// taking over the standard streams, "releasing" it means letting go of them again.
// Toolkit-free.

#include <cstdint>
#include <string>

namespace marlinq::ui {

class MyConsole {
public:
    // 1 while this process has a console of its own, else 0.
    static std::int32_t IsExistent;

    // Takes the console (680 lines of 166 columns) unless one exists already.
    MyConsole();
    // The same with a window title and the given buffer size.
    MyConsole(const std::wstring& title, std::int16_t ConsoleHeight, std::int16_t ConsoleWidth);
    // Any instance releases the console when it goes, whichever instance created it.
    ~MyConsole();

    MyConsole(const MyConsole&) = delete;
    MyConsole& operator=(const MyConsole&) = delete;

    // Standard input, output and error unbuffered, in text mode.
    void Attach(std::int16_t ConsoleHeight, std::int16_t ConsoleWidth);

private:
    static void setTitle(const std::wstring& title);
};

}  // namespace marlinq::ui
