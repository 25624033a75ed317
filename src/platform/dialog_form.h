// One dialog form (an input query, a yes/no question, a message, the login form): what it shows, the
// text the player edits, its buttons, and where each part lies in the form's window. A backend shows
// the form in a window of its own and feeds it the player's keys, text and clicks; the form decides
// what they do. The text is drawn with the engine's own font (installed with Dialog_SetFont).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class DialogKind { InputQuery, Question, Message, Login };

// Button ids, as the engine's dialog resources number them.
constexpr int kDialogButtonOK = 1;
constexpr int kDialogButtonCancel = 2;
constexpr int kDialogButtonYes = 1066;
constexpr int kDialogButtonNo = 1067;

// The most an edit field holds, in UTF-16 units.
constexpr size_t kDialogEditUnits = 4097;
// The most prompt lines a form shows; the others are cut off, as a long line is at the form's edge.
constexpr int kDialogPromptLines = 40;

// A bitmap font: RGBA pixels (alpha is the coverage) with one cell {x, y, advance width, height} per
// character from first to last. Characters outside the range are drawn as '?'.
struct DialogFont {
    const uint8_t* pixels = nullptr;
    int width = 0, height = 0;
    const uint8_t (*glyphs)[4] = nullptr;
    int first = 0, last = -1;
};
// The font forms are drawn with; the data stays the caller's and must outlive every form.
void Dialog_SetFont(const DialogFont& font);
const DialogFont& Dialog_GetFont();
// The cell of a code point in the font (the '?' cell when it has none); null without a font.
const uint8_t* DialogFont_Glyph(uint32_t codePoint);
// Width in pixels of UTF-8 text on one line; the height of a line.
int DialogFont_TextWidth(const std::string& text);
int DialogFont_LineHeight();
// The longest end of the text that is at most width pixels wide.
std::string DialogFont_FitTail(const std::string& text, int width);

struct DialogRect {
    int x = 0, y = 0, w = 0, h = 0;
    bool Contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

class CDialogForm {
public:
    CDialogForm(DialogKind kind, const char* caption, const char* prompt);

    DialogKind Kind() const { return m_kind; }
    const std::string& Caption() const { return m_caption; }
    // The prompt or message, as lines.
    const std::string& Prompt() const { return m_prompt; }
    // Edit fields: one for the input query (the answer), two for the login form (user, password).
    int FieldCount() const;
    std::string& Field(int i) { return m_fields[i]; }
    const std::string& Field(int i) const { return m_fields[i]; }
    // Shown as stars.
    bool IsSecret(int field) const { return m_kind == DialogKind::Login && field == 1; }
    int Focus() const { return m_focus; }
    // The buttons left to right; the one Enter presses and the one Escape (or the close box) presses.
    int ButtonCount() const;
    int ButtonId(int i) const;
    int DefaultButton() const;
    int EscapeButton() const;
    static const char* ButtonText(int id);

    // --- the player ---
    // Typed text goes into the field with the focus, up to kDialogEditUnits; control characters are
    // skipped.
    void Type(const char* utf8);
    void Backspace();
    void NextField();
    void Press(int buttonId);
    // Enter, Escape, Tab, Backspace by their virtual-key codes; others do nothing.
    void Key(int vk);
    // A click in the form's window: a field takes the focus, a button is pressed.
    void Click(int x, int y);

    // A modal form holds the game window up while it is open: the keys and the focus are its own. A
    // modeless one (its answer delivered to a request) leaves the game window to the player.
    bool IsModal() const { return m_modal; }
    void SetModeless() { m_modal = false; }

    bool Done() const { return m_done; }
    // The button that closed the form (0 while open).
    int Answer() const { return m_answer; }
    // True when the answer confirms (OK or Yes).
    bool Confirmed() const { return m_answer == kDialogButtonOK || m_answer == kDialogButtonYes; }

    // Where things lie in the form's window, from the font's metrics.
    struct Layout {
        int width = 0, height = 0;
        DialogRect prompt; // the first line's place; the others follow a line apart
        int promptLines = 0; // the lines shown
        DialogRect labels[2];
        DialogRect fields[2];
        DialogRect buttons[2];
    };
    Layout Arrange() const;
    // The prompt's lines (split at line breaks, CR LF counting as one).
    std::vector<std::string> PromptLines() const;
    // A field's text as drawn (stars for the password).
    std::string Shown(int field) const;
    static const char* FieldLabel(DialogKind kind, int field);

private:
    DialogKind m_kind;
    std::string m_caption;
    std::string m_prompt;
    std::string m_fields[2];
    int m_focus = 0;
    bool m_modal = true;
    bool m_done = false;
    int m_answer = 0;
};
