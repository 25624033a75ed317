#include "platform/text_panel.h"

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
