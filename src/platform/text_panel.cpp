#include "platform/text_panel.h"

#include <algorithm>

namespace {
constexpr int kMargin = 8;
constexpr int kMinButtonWidth = 80;
} // namespace

CTextPanel::CTextPanel(const char* title, std::vector<std::string> buttons)
    : m_title(title ? title : ""), m_buttons(std::move(buttons)) {}

void CTextPanel::SetStatus(const std::string& status) {
    if (status == m_status) return;
    m_status = status;
    ++m_version;
}

void CTextPanel::AddLine(const std::string& line) {
    m_lines.push_back(line);
    if (m_lines.size() > kMaxLines) m_lines.pop_front();
    ++m_version;
}

void CTextPanel::SetButton(size_t i, const std::string& label) {
    if (i >= m_buttons.size() || m_buttons[i] == label) return;
    m_buttons[i] = label;
    ++m_version;
}

void CTextPanel::Press(size_t i) {
    if (i < m_buttons.size()) m_presses.push_back(i);
}

bool CTextPanel::TakePress(size_t& i) {
    if (m_presses.empty()) return false;
    i = m_presses.front();
    m_presses.pop_front();
    return true;
}

CTextPanel::Layout CTextPanel::Arrange(int width, int height) const {
    Layout l;
    l.lineHeight = DialogFont_LineHeight();
    const int buttonHeight = l.lineHeight + 10;
    l.status = DialogRect{kMargin, kMargin, std::max(0, width - 2 * kMargin), l.lineHeight};
    const int buttonTop = std::max(l.status.y + l.lineHeight + kMargin, height - kMargin - buttonHeight);
    int x = kMargin;
    for (const std::string& label : m_buttons) {
        const int w = std::max(kMinButtonWidth, DialogFont_TextWidth(label) + 20);
        l.buttons.push_back(DialogRect{x, buttonTop, w, buttonHeight});
        x += w + kMargin;
    }
    const int listTop = l.status.y + l.lineHeight + kMargin;
    l.list = DialogRect{kMargin, listTop, l.status.w, std::max(0, buttonTop - kMargin - listTop)};
    const size_t visible = static_cast<size_t>(l.list.h / l.lineHeight);
    l.firstLine = m_lines.size() > visible ? m_lines.size() - visible : 0;
    return l;
}

int CTextPanel::ButtonAt(int width, int height, int x, int y) const {
    const Layout l = Arrange(width, height);
    for (size_t i = 0; i < l.buttons.size(); ++i)
        if (l.buttons[i].Contains(x, y)) return static_cast<int>(i);
    return -1;
}
