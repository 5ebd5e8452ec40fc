// CTextFont and CEtchedFrame.
#include "msgbox/drawhelpers.h"

CTextFont::CTextFont() : font(0), textColor(0) {
    BYTE *bytes = reinterpret_cast<BYTE *>(&logFont);
    for (unsigned i = 0; i < sizeof(logFont); ++i) bytes[i] = 0;
}

CTextFont::~CTextFont() {
    Release();
}

// The font held before is deleted first: each new font would otherwise be
// lost the moment its handle is overwritten.
void CTextFont::CreateAndMeasure(HDC hdc) {
    Release();
    font = CreateFontIndirectA(&logFont);
    TEXTMETRICA tm;
    GetTextMetricsA(hdc, &tm);
    charWidth = tm.tmAveCharWidth;
    lineHeight = tm.tmHeight + tm.tmExternalLeading;
}

void CTextFont::SetFaceAndSize(HDC hdc, LPCSTR face, int points) {
    if (face[0] != '\0') lstrcpynA(logFont.lfFaceName, face, LF_FACESIZE);
    logFont.lfHeight = -MulDiv(points, GetDeviceCaps(hdc, LOGPIXELSY), 72);
    CreateAndMeasure(hdc);
}

HFONT CTextFont::Apply(HDC hdc) {
    SetTextColor(hdc, textColor);
    return static_cast<HFONT>(SelectObject(hdc, font));
}

BOOL CTextFont::Release() {
    if (font == 0) return 0;
    BOOL deleted = DeleteObject(font);
    font = 0;
    return deleted;
}

CEtchedFrame::CEtchedFrame()
    : highlightColor(GetSysColor(COLOR_BTNHIGHLIGHT)), shadowColor(GetSysColor(COLOR_BTNSHADOW)), width(-1) {}

void CEtchedFrame::SetFrameRect(const RECT &rect) {
    left = rect.left;
    top = rect.top;
    width = rect.right - rect.left + 1;
    height = rect.bottom - rect.top + 1;
}

int CEtchedFrame::DrawEtchedFrame(HDC hdc) {
    if (width == -1) return -1;
    int right = left + width - 1;
    int bottom = top + height - 1;

    HPEN shadowPen = CreatePen(PS_SOLID, 1, shadowColor);
    HGDIOBJ previousPen = SelectObject(hdc, shadowPen);
    MoveToEx(hdc, left, bottom, 0);
    LineTo(hdc, left, top);
    LineTo(hdc, right, top);

    HPEN highlightPen = CreatePen(PS_SOLID, 1, highlightColor);
    SelectObject(hdc, highlightPen);
    DeleteObject(shadowPen);
    LineTo(hdc, right, bottom);
    LineTo(hdc, left, bottom);

    SelectObject(hdc, previousPen);
    return DeleteObject(highlightPen);
}
