#include "platform/dialog_form.h"

#include "core/utf8.h"
#include "platform/keys.h"

#include <algorithm>
#include <cstring>

namespace {

DialogFont g_font;

constexpr int kMargin = 12;
constexpr int kGap = 8;
constexpr int kFieldWidth = 280;
constexpr int kButtonWidth = 80;

// The UTF-16 units of a text (a code point beyond the 16-bit range takes two).
size_t Utf16Units(const std::string& text) {
    size_t units = 0;
    for (size_t i = 0; i < text.size();) {
        const int32_t cp = Text_NextCodePoint(text.data(), text.size(), i);
        if (cp >= 0) units += cp >= 0x10000 ? 2 : 1;
    }
    return units;
}

} // namespace

// --- font ---

void Dialog_SetFont(const DialogFont& font) { g_font = font; }
const DialogFont& Dialog_GetFont() { return g_font; }

const uint8_t* DialogFont_Glyph(uint32_t codePoint) {
    if (!g_font.glyphs || g_font.last < g_font.first) return nullptr;
    const auto in = [](uint32_t c) {
        return c >= static_cast<uint32_t>(g_font.first) && c <= static_cast<uint32_t>(g_font.last);
    };
    if (!in(codePoint)) codePoint = '?';
    if (!in(codePoint)) codePoint = static_cast<uint32_t>(g_font.first);
    return g_font.glyphs[codePoint - static_cast<uint32_t>(g_font.first)];
}

namespace {
int CharWidth(int32_t codePoint) {
    const uint8_t* glyph = DialogFont_Glyph(static_cast<uint32_t>(codePoint));
    return glyph ? glyph[2] : 8;
}
} // namespace

int DialogFont_TextWidth(const std::string& text) {
    int width = 0;
    for (size_t i = 0; i < text.size();) {
        const int32_t cp = Text_NextCodePoint(text.data(), text.size(), i);
        if (cp >= 0) width += CharWidth(cp);
    }
    return width;
}

std::string DialogFont_FitTail(const std::string& text, int width) {
    int over = DialogFont_TextWidth(text) - width;
    size_t i = 0;
    while (over > 0 && i < text.size()) {
        const int32_t cp = Text_NextCodePoint(text.data(), text.size(), i);
        if (cp >= 0) over -= CharWidth(cp);
    }
    return text.substr(i);
}

int DialogFont_LineHeight() {
    const uint8_t* glyph = DialogFont_Glyph('A');
    return glyph && glyph[3] > 0 ? glyph[3] : 16;
}

// --- form ---

CDialogForm::CDialogForm(DialogKind kind, const char* caption, const char* prompt)
    : m_kind(kind), m_caption(caption ? caption : ""), m_prompt(prompt ? prompt : "") {}

int CDialogForm::FieldCount() const {
    switch (m_kind) {
    case DialogKind::InputQuery: return 1;
    case DialogKind::Login: return 2;
    default: return 0;
    }
}

int CDialogForm::ButtonCount() const { return m_kind == DialogKind::Message ? 1 : 2; }

int CDialogForm::ButtonId(int i) const {
    if (m_kind == DialogKind::Question) return i == 0 ? kDialogButtonYes : kDialogButtonNo;
    return i == 0 ? kDialogButtonOK : kDialogButtonCancel;
}

int CDialogForm::DefaultButton() const { return ButtonId(0); }

int CDialogForm::EscapeButton() const { return ButtonId(ButtonCount() - 1); }

const char* CDialogForm::ButtonText(int id) {
    switch (id) {
    case kDialogButtonOK: return "OK";
    case kDialogButtonCancel: return "Cancel";
    case kDialogButtonYes: return "Yes";
    case kDialogButtonNo: return "No";
    default: return "";
    }
}

const char* CDialogForm::FieldLabel(DialogKind kind, int field) {
    if (kind != DialogKind::Login) return "";
    return field == 0 ? "Username" : "Password";
}

void CDialogForm::Type(const char* utf8) {
    if (m_done || !utf8 || FieldCount() == 0) return;
    std::string& field = m_fields[m_focus];
    size_t units = Utf16Units(field);
    const size_t length = std::strlen(utf8);
    for (size_t i = 0; i < length;) {
        const int32_t cp = Text_NextCodePoint(utf8, length, i);
        if (cp < 32 || cp == 127) continue;
        const size_t need = cp >= 0x10000 ? 2 : 1;
        if (units + need > kDialogEditUnits) continue;
        char bytes[4];
        char* end = bytes;
        UTF8_PutChar(end, static_cast<uint32_t>(cp));
        field.append(bytes, end);
        units += need;
    }
}

void CDialogForm::Backspace() {
    if (m_done || FieldCount() == 0) return;
    std::string& field = m_fields[m_focus];
    size_t end = field.size();
    while (end > 0 && (static_cast<uint8_t>(field[end - 1]) & 0xC0) == 0x80) --end;
    field.resize(end > 0 ? end - 1 : 0);
}

void CDialogForm::NextField() {
    if (FieldCount() > 0) m_focus = (m_focus + 1) % FieldCount();
}

void CDialogForm::Press(int buttonId) {
    if (m_done) return;
    for (int i = 0; i < ButtonCount(); ++i) {
        if (ButtonId(i) != buttonId) continue;
        m_done = true;
        m_answer = buttonId;
        return;
    }
}

void CDialogForm::Key(int vk) {
    switch (vk) {
    case VK_RETURN: Press(DefaultButton()); break;
    case VK_ESCAPE: Press(EscapeButton()); break;
    case VK_TAB: NextField(); break;
    case VK_BACK: Backspace(); break;
    default: break;
    }
}

void CDialogForm::Click(int x, int y) {
    const Layout layout = Arrange();
    for (int i = 0; i < FieldCount(); ++i)
        if (layout.fields[i].Contains(x, y)) m_focus = i;
    for (int i = 0; i < ButtonCount(); ++i)
        if (layout.buttons[i].Contains(x, y)) Press(ButtonId(i));
}

std::vector<std::string> CDialogForm::PromptLines() const {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < m_prompt.size(); ++i) {
        const char c = m_prompt[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < m_prompt.size() && m_prompt[i + 1] == '\n') ++i;
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    return lines;
}

std::string CDialogForm::Shown(int field) const {
    if (!IsSecret(field)) return m_fields[field];
    return std::string(Utf16Units(m_fields[field]), '*');
}

CDialogForm::Layout CDialogForm::Arrange() const {
    Layout layout;
    const int line = DialogFont_LineHeight();
    const int fieldHeight = line + 8;
    const int buttonHeight = line + 10;
    const std::vector<std::string> lines = PromptLines();
    // A form is wide enough for its longest prompt line and its fields, within reason.
    int textWidth = 0;
    for (const std::string& l : lines) textWidth = std::max(textWidth, DialogFont_TextWidth(l));
    // The login form's labels stand before their fields, in a column as wide as the longer one.
    int labelWidth = 0;
    if (m_kind == DialogKind::Login)
        labelWidth = kGap + std::max(DialogFont_TextWidth(FieldLabel(m_kind, 0)),
                                     DialogFont_TextWidth(FieldLabel(m_kind, 1)));
    int buttonWidth = kButtonWidth;
    for (int i = 0; i < ButtonCount(); ++i)
        buttonWidth = std::max(buttonWidth, DialogFont_TextWidth(ButtonText(ButtonId(i))) + 2 * kGap);
    int inner = std::max(
        {textWidth, FieldCount() > 0 ? kFieldWidth + labelWidth : 0, ButtonCount() * (buttonWidth + kGap)});
    inner = std::min(inner, 900);
    int y = kMargin;
    const bool hasPrompt = !(lines.size() == 1 && lines[0].empty());
    if (hasPrompt) {
        layout.prompt = DialogRect{kMargin, y, inner, line};
        layout.promptLines = std::min(static_cast<int>(lines.size()), kDialogPromptLines);
        y += layout.promptLines * line + kGap;
    }
    for (int i = 0; i < FieldCount(); ++i) {
        layout.labels[i] = DialogRect{kMargin, y + 4, labelWidth, line};
        layout.fields[i] = DialogRect{kMargin + labelWidth, y, inner - labelWidth, fieldHeight};
        y += fieldHeight + kGap;
    }
    y += kGap;
    // Buttons at the right, the default first.
    int x = kMargin + inner - ButtonCount() * buttonWidth - (ButtonCount() - 1) * kGap;
    for (int i = 0; i < ButtonCount(); ++i) {
        layout.buttons[i] = DialogRect{x, y, buttonWidth, buttonHeight};
        x += buttonWidth + kGap;
    }
    layout.width = inner + 2 * kMargin;
    layout.height = y + buttonHeight + kMargin;
    return layout;
}
