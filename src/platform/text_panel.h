// A window of text beside the game's (the debug form): a title, a status line, a list of lines with one
// selected, and a row of buttons. The backend shows it, draws what it holds and hands it the clicks
// meant for it; its owner reads the buttons pressed.
#pragma once

#include "platform/dialog_form.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class CTextPanel {
public:
    CTextPanel(const char* title, std::vector<std::string> buttons);

    const std::string& Title() const { return m_title; }
    const std::string& Status() const { return m_status; }
    void SetStatus(const std::string& status);
    // Adds a line at the end (the oldest go beyond kMaxLines) and selects it.
    void AddLine(const std::string& line);
    const std::deque<std::string>& Lines() const { return m_lines; }
    // The selected line's index, -1 for none.
    int Selected() const { return m_lines.empty() ? -1 : static_cast<int>(m_lines.size()) - 1; }
    const std::vector<std::string>& Buttons() const { return m_buttons; }
    void SetButton(size_t i, const std::string& label);

    // The player pressed button i; the owner takes the presses in order.
    void Press(size_t i);
    bool TakePress(size_t& i);

    // Where things lie in a window of the given size, from the dialog font's metrics: the status line
    // at the top, the buttons in a row at the bottom, the list between them showing the newest lines
    // from firstLine on.
    struct Layout {
        DialogRect status;
        DialogRect list;
        int lineHeight = 0;
        size_t firstLine = 0;
        std::vector<DialogRect> buttons;
    };
    Layout Arrange(int width, int height) const;
    // The button at a point of the window, -1 for none.
    int ButtonAt(int width, int height, int x, int y) const;

    // Counts every change, so a backend redraws only when it moved.
    uint64_t Version() const { return m_version; }

    static constexpr size_t kMaxLines = 1000;

private:
    std::string m_title;
    std::string m_status;
    std::deque<std::string> m_lines;
    std::vector<std::string> m_buttons;
    std::deque<size_t> m_presses;
    uint64_t m_version = 0;
};
