// Hostile texts in the panel's edits: far too long, beyond 32 bits, not
// digits at all, put there by WM_SETTEXT or by pasting (ES_NUMBER filters
// typing only). The program must not crash or read past a buffer, and the
// device must receive what the conversion, wrap and count rules give.
#include "panel/panel_device_fixture.h"

#include "panel_state.h"

#include <cstring>
#include <string>

namespace {

using Messages = std::vector<std::string>;

const int ResultBuffer = 255;

// The result text followed by zero bytes up to count, as the device gets it.
std::string Padded(const std::string &text, size_t count)
{
    std::string bytes = text.substr(0, count);
    bytes.resize(count, '\0');
    return bytes;
}

// The whole text; the harness's reader stops at a few hundred characters.
std::string FullText(HWND edit)
{
    std::string text(size_t(GetWindowTextLengthA(edit)) + 1, '\0');
    text.resize(size_t(GetWindowTextA(edit, &text[0], int(text.size()))));
    return text;
}

// Puts text on the clipboard and pastes it into an emptied edit.
bool Paste(HWND edit, const std::string &text)
{
    if (!OpenClipboard(edit))
        return false;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (memory != NULL) {
        memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
        GlobalUnlock(memory);
        // The clipboard owns the memory once it has taken it.
        if (SetClipboardData(CF_TEXT, memory) == NULL)
            GlobalFree(memory);
    }
    CloseClipboard();
    SetWindowTextA(edit, "");
    SendMessageA(edit, WM_PASTE, 0, 0);
    return true;
}

const int Add = 3000, Subtract = 3001, Multiply = 3002;

class OperandInputTest : public PanelDeviceTest {
protected:
    void Choose(int radioId) { SendMessageA(GetDlgItem(window, radioId), BM_CLICK, 0, 0); }

    // Sends the result of what the two edits hold; returns what the device received.
    Messages SendHeldResult()
    {
        DeviceReset();
        PanelState.LastSendResult = 0;
        Press(window, PanelState.SendResultButton);
        EXPECT_EQ(1, PanelState.LastSendResult);
        EXPECT_FALSE(TakeQuitMessage());
        return DeviceMessageTexts();
    }

    // The same with both texts set through WM_SETTEXT, which takes any length.
    Messages SendResult(const std::string &first, const std::string &second)
    {
        SendMessageA(PanelState.FirstOperandEdit, WM_SETTEXT, 0, (LPARAM)first.c_str());
        SendMessageA(PanelState.SecondOperandEdit, WM_SETTEXT, 0, (LPARAM)second.c_str());
        EXPECT_EQ(first, FullText(PanelState.FirstOperandEdit));
        EXPECT_EQ(second, FullText(PanelState.SecondOperandEdit));
        return SendHeldResult();
    }
};

TEST_F(OperandInputTest, OperandsLongerThanTheResultBufferSendOnlyTheBuffer)
{
    // 255 or more characters would ask for a count past the 255-byte buffer.
    Choose(Add);
    for (size_t digits : {254u, 255u, 256u, 1000u}) {
        SCOPED_TRACE(digits);
        // Nines beyond 32 bits clamp to INT32_MAX; adding 1 wraps.
        std::string nines(digits, '9');
        size_t count = std::min<size_t>(digits + 1, ResultBuffer);
        EXPECT_EQ(Messages{Padded("-2147483648", count)}, SendResult(nines, "1"));
        // The longer operand sets the count whichever side it is on.
        EXPECT_EQ(Messages{Padded("-2147483648", count)}, SendResult("1", nines));
    }
}

struct ConversionCase {
    int radio;
    const char *first;
    const char *second;
    std::string sent;
};

TEST_F(OperandInputTest, OperandsConvertClampAndWrapByTheRules)
{
    const ConversionCase cases[] = {
        // Beyond 32 bits: clamped conversion.
        {Add, "2147483648", "0", Padded("2147483647", 11)},
        {Add, "-2147483649", "0", Padded("-2147483648", 12)},
        {Subtract, "99999999999", "-99999999999", Padded("-1", 13)},
        // Wrapped arithmetic.
        {Add, "2147483647", "1", "-2147483648"},
        {Subtract, "-2147483648", "1", Padded("2147483647", 12)},
        {Multiply, "65536", "65536", Padded("0", 6)},
        {Multiply, "-2147483648", "-1", Padded("-2147483648", 12)},
        // Pasted non-digits, leading spaces and signs read as atoi does.
        {Add, "12abc", "x7", Padded("12", 6)},
        {Add, "  -5", " +8", Padded("3", 5)},
        {Add, "--5", "+-5", Padded("0", 4)},
        {Multiply, "1e9", "0x10", Padded("0", 5)},
        // Empty fields read as 0; the count is still one more than the longer.
        {Add, "", "", "0"},
        {Subtract, "", "42", "-42"},
    };
    for (const ConversionCase &c : cases) {
        SCOPED_TRACE(std::string(c.first) + " | " + c.second);
        Choose(c.radio);
        EXPECT_EQ(Messages{c.sent}, SendResult(c.first, c.second));
    }
}

TEST_F(OperandInputTest, NumberFieldSendsWhateverItHoldsByteForByte)
{
    // No conversion on this path: the text goes out as it stands, however long.
    for (const std::string &text : {std::string(1000, '7'), std::string(" -12ab+"), std::string(256, '0')}) {
        SCOPED_TRACE(text.size());
        DeviceReset();
        SendMessageA(PanelState.NumberEdit, WM_SETTEXT, 0, (LPARAM)text.c_str());
        ASSERT_EQ(text, FullText(PanelState.NumberEdit));
        PanelState.LastSendResult = 0;
        Press(window, PanelState.SendNumberButton);
        EXPECT_EQ(Messages{text}, DeviceMessageTexts());
        EXPECT_EQ(1, PanelState.LastSendResult);
    }
}

TEST_F(OperandInputTest, PastedTextsAreTakenAsTheEditHoldsThem)
{
    // ES_NUMBER stops typed non-digits only; a paste puts in anything.
    Choose(Add);
    struct { const char *first, *second; std::string sent; } cases[] = {
        {"12ab", "x7", Padded("12", 5)},
        {" -5", " +8", Padded("3", 4)},
        {"--5", "+-5", Padded("0", 4)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.first) + " | " + c.second);
        ASSERT_TRUE(Paste(PanelState.FirstOperandEdit, c.first));
        ASSERT_TRUE(Paste(PanelState.SecondOperandEdit, c.second));
        ASSERT_EQ(c.first, FullText(PanelState.FirstOperandEdit));
        ASSERT_EQ(c.second, FullText(PanelState.SecondOperandEdit));
        EXPECT_EQ(Messages{c.sent}, SendHeldResult());
    }
}

TEST_F(OperandInputTest, LongPastesStopAtTheEditsWidth)
{
    // Without ES_AUTOHSCROLL an edit takes pasted text only as far as it
    // shows it; what it holds is then sent by the same rules.
    Choose(Add);
    ASSERT_TRUE(Paste(PanelState.FirstOperandEdit, std::string(1000, '9')));
    ASSERT_TRUE(Paste(PanelState.SecondOperandEdit, "1"));
    std::string held = FullText(PanelState.FirstOperandEdit);
    ASSERT_FALSE(held.empty());
    ASSERT_LT(held.size(), 10u) << "the edit took more than its width; this case needs other numbers";
    EXPECT_EQ(std::string(held.size(), '9'), held);
    // k nines plus one is 1 and k zeros: k + 1 characters, the count exactly.
    std::string power(held.size() + 1, '0');
    power[0] = '1';
    EXPECT_EQ(Messages{power}, SendHeldResult());

    DeviceReset();
    ASSERT_TRUE(Paste(PanelState.NumberEdit, std::string(1000, '7')));
    held = FullText(PanelState.NumberEdit);
    ASSERT_FALSE(held.empty());
    EXPECT_EQ(std::string(held.size(), '7'), held);
    Press(window, PanelState.SendNumberButton);
    EXPECT_EQ(Messages{held}, DeviceMessageTexts());
}

} // namespace
