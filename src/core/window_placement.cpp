#include "core/window_placement.h"

#include "common/decimal_text.h"

namespace corvane {
namespace {

constexpr std::string_view kSection = "MainWindow";

int ReadNumber(const IniImage& image, std::string_view key, std::string_view missing, int fallback)
{
    return ParseInt32(image.ReadString(kSection, key, missing)).value_or(fallback);
}

}  // namespace

void WindowPlacement::Capture(int top, int left, int clientHeight, int clientWidth, bool maximized)
{
    Top = top;
    Left = left;
    Height = maximized ? -clientHeight : clientHeight;
    Width = maximized ? -clientWidth : clientWidth;
}

WindowPlacement LoadWindowPlacement(const IniImage& image)
{
    WindowPlacement p;
    p.Top = ReadNumber(image, "Top", "40", 5);
    p.Left = ReadNumber(image, "Left", "", 5);
    p.Height = ReadNumber(image, "Height", "434", 380);
    p.Width = ReadNumber(image, "Width", "670", 750);
    p.FirstRun = ReadNumber(image, "FirstRun", "1", 1) != 0;
    return p;
}

void SaveWindowPlacement(const WindowPlacement& p, IniImage& image)
{
    image.WriteInteger(kSection, "Top", p.Top);
    image.WriteInteger(kSection, "Left", p.Left);
    image.WriteInteger(kSection, "Height", p.Height);
    image.WriteInteger(kSection, "Width", p.Width);
    image.WriteBool(kSection, "FirstRun", p.FirstRun);
}

}  // namespace corvane
