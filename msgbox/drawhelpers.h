// Two small records the message boxes draw with: a font description with
// its font and measured sizes, and a two-colour rectangle outline.
#pragma once

#include <windows.h>

class CTextFont {
public:
    int charWidth;       // tmAveCharWidth, from CreateAndMeasure
    int lineHeight;      // tmHeight + tmExternalLeading, from CreateAndMeasure
    HFONT font;          // the font made from logFont, or null
    COLORREF textColor;  // colour Apply sets for text
    LOGFONTA logFont;    // the font description

    CTextFont();
    ~CTextFont();

    // Makes the font from logFont (deleting the one held before) and reads
    // the metrics of the font hdc has selected.
    void CreateAndMeasure(HDC hdc);
    // Sets the face (unless empty) and a height of `points` at hdc's
    // resolution, then CreateAndMeasure.
    void SetFaceAndSize(HDC hdc, LPCSTR face, int points);
    // Sets the text colour and selects the font; returns the previous font.
    HFONT Apply(HDC hdc);
    // Deletes the font if there is one; the deletion's result, or 0.
    BOOL Release();

private:
    CTextFont(const CTextFont &) = delete;
    CTextFont &operator=(const CTextFont &) = delete;
};

class CEtchedFrame {
public:
    COLORREF highlightColor;  // right and bottom edges
    COLORREF shadowColor;     // left and top edges
    int left;
    int top;
    int width;  // counting both edges; -1: no rectangle, nothing is drawn
    int height;

    CEtchedFrame();

    // rect's right and bottom are the outline's last column and row.
    void SetFrameRect(const RECT &rect);
    // -1 when nothing was drawn, else the result of deleting the second pen.
    int DrawEtchedFrame(HDC hdc);
};
