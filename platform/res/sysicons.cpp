// The system icons and the arrow cursor, which the layer draws itself in
// the classic look: 32 x 32 pixel maps, one character per pixel, top row
// first. The letters name colours of the standard 16-colour palette; '.' is
// transparent.

#include "platform/res/image.h"

namespace win32::res {

namespace {

// Stop sign: a red disc with a white cross.
const char *const kHand[32] = {
    "................................", "...........kkkkkkkk.............",
    ".........kkrrrrrrrrkk...........", ".......kkrrrrrrrrrrrrkk.........",
    "......krrrrrrrrrrrrrrrrk........", ".....krrrrrrrrrrrrrrrrrrk.......",
    "....krrrrrrrrrrrrrrrrrrrrk......", "...krrrrrrrrrrrrrrrrrwwwrrk.....",
    "...krrrwwwrrrrrrrrrrwwwrrrkd....", "..krrrrrwwwrrrrrrrrwwwrrrrrkd...",
    "..krrrrrrwwwrrrrrrwwwrrrrrrkd...", ".krrrrrrrrwwwrrrrwwwrrrrrrrrkd..",
    ".krrrrrrrrrwwwrrwwwrrrrrrrrrkd..", ".krrrrrrrrrrwwwwwwrrrrrrrrrrkdd.",
    ".krrrrrrrrrrrwwwwrrrrrrrrrrrkdd.", ".krrrrrrrrrrrwwwwrrrrrrrrrrrkdd.",
    ".krrrrrrrrrrwwwwwwrrrrrrrrrrkdd.", ".krrrrrrrrrwwwrrwwwrrrrrrrrrkdd.",
    ".krrrrrrrrwwwrrrrwwwrrrrrrrrkdd.", "..krrrrrrwwwrrrrrrwwwrrrrrrkddd.",
    "..krrrrrwwwrrrrrrrrwwwrrrrrkddd.", "...krrrwwwrrrrrrrrrrwwwrrrkddd..",
    "...krrrrrrrrrrrrrrrrrwwwrrkddd..", "....krrrrrrrrrrrrrrrrrrrrkddd...",
    ".....krrrrrrrrrrrrrrrrrrkdddd...", "......krrrrrrrrrrrrrrrrkdddd....",
    ".......kkrrrrrrrrrrrrkkdddd.....", "........dkkrrrrrrrrkkddddd......",
    ".........ddkkkkkkkkdddddd.......", "...........dddddddddddd.........",
    ".............dddddddd...........", "................................",
};

// Question: a speech bubble with a blue question mark.
const char *const kQuestion[32] = {
    "................................", "............kkkkkkkk............",
    ".........kkkwwwwwwwwkkk.........", ".......kkwwwwwwwwwwwwwwkk.......",
    ".....kkwwwwwwwwwwwwwwwwwwkk.....", "....kwwwwwwwwwwwwwwwwwwwwwwk....",
    "...kwwwwwwwwwwwwwwwwwwwwwwwwk...", "...kwwwwwwwwwwbbbbbwwwwwwwwwkd..",
    "..kwwwwwwwwwwbbbwbbbwwwwwwwwwkd.", "..kwwwwwwwwwwbbwwwbbwwwwwwwwwkd.",
    ".kwwwwwwwwwwwwwwwwbbwwwwwwwwwwkd", ".kwwwwwwwwwwwwwwwbbbwwwwwwwwwwkd",
    ".kwwwwwwwwwwwwwwbbbwwwwwwwwwwwkd", ".kwwwwwwwwwwwwwbbbwwwwwwwwwwwwkd",
    ".kwwwwwwwwwwwwwbbwwwwwwwwwwwwwkd", ".kwwwwwwwwwwwwwbbwwwwwwwwwwwwwkd",
    "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkdd", "..kwwwwwwwwwwwwbbwwwwwwwwwwwwkdd",
    "...kwwwwwwwwwwwbbwwwwwwwwwwwkddd", "...kwwwwwwwwwwwwwwwwwwwwwwwwkddd",
    "....kwwwwwwwwwwwwwwwwwwwwwwkddd.", ".....kkwwwwwwwwwwwwwwwwwwkkdddd.",
    "......dkwwwwwwwwwwwwwwwkkddddd..", ".......kwwwwwwwwwwwwkkkdddddd...",
    "......kwwwwkkkkkkkkkddddddd.....", "......kwwwkdddddddddddddd.......",
    "......kwkkdddddddddddd..........", ".....kwkddddd...................",
    ".....kk.dddd....................", ".......ddd......................",
    ".......dd.......................", "................................",
};

// Warning: a yellow triangle with an exclamation mark.
const char *const kExclamation[32] = {
    "................................", "...............kk...............",
    "...............kk...............", "..............kyykd.............",
    "..............kyykd.............", ".............kyyyykd............",
    ".............kyyyykd............", "............kyyyyyykd...........",
    "............kyyyyyykd...........", "...........kyyyyyyyykd..........",
    "...........kyyykkyyykd..........", "..........kyyyykkyyyykd.........",
    "..........kyyyykkyyyykd.........", ".........kyyyyykkyyyyykd........",
    ".........kyyyyykkyyyyykd........", "........kyyyyyykkyyyyyykd.......",
    "........kyyyyyykkyyyyyykd.......", ".......kyyyyyyykkyyyyyyykd......",
    "......kyyyyyyyyyyyyyyyyyyk......", "......kyyyyyyyykkyyyyyyyykd.....",
    ".....kyyyyyyyyykkyyyyyyyyykd....", ".....kyyyyyyyyyyyyyyyyyyyykd....",
    "....kyyyyyyyyyyyyyyyyyyyyyykd...", "....kyyyyyyyyyyyyyyyyyyyyyykd...",
    "...kyyyyyyyyyyyyyyyyyyyyyyyykd..", "...kyyyyyyyyyyyyyyyyyyyyyyyykd..",
    "..kyyyyyyyyyyyyyyyyyyyyyyyyyykd.", "..kyyyyyyyyyyyyyyyyyyyyyyyyyykd.",
    ".kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkd", "....dddddddddddddddddddddddddddd",
    "...ddddddddddddddddddddddddddddd", "................................",
};

// Information: a speech bubble with a blue 'i'.
const char *const kAsterisk[32] = {
    "................................", "............kkkkkkkk............",
    ".........kkkwwwwwwwwkkk.........", ".......kkwwwwwwwwwwwwwwkk.......",
    ".....kkwwwwwwwwwwwwwwwwwwkk.....", "....kwwwwwwwwwwwwwwwwwwwwwwk....",
    "...kwwwwwwwwwwwwwwwwwwwwwwwwk...", "...kwwwwwwwwwwwwwwwwwwwwwwwwkd..",
    "..kwwwwwwwwwwwwbbwwwwwwwwwwwwkd.", "..kwwwwwwwwwwwwbbwwwwwwwwwwwwkd.",
    ".kwwwwwwwwwwwwwwwwwwwwwwwwwwwwkd", ".kwwwwwwwwwwwwbbbwwwwwwwwwwwwwkd",
    ".kwwwwwwwwwwwwwbbwwwwwwwwwwwwwkd", ".kwwwwwwwwwwwwwbbwwwwwwwwwwwwwkd",
    ".kwwwwwwwwwwwwwbbwwwwwwwwwwwwwkd", ".kwwwwwwwwwwwwwbbwwwwwwwwwwwwwkd",
    "..kwwwwwwwwwwwbbbbwwwwwwwwwwwkdd", "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkdd",
    "...kwwwwwwwwwwwwwwwwwwwwwwwwkddd", "...kwwwwwwwwwwwwwwwwwwwwwwwwkddd",
    "....kwwwwwwwwwwwwwwwwwwwwwwkddd.", ".....kkwwwwwwwwwwwwwwwwwwkkdddd.",
    "......dkwwwwwwwwwwwwwwwkkddddd..", ".......kwwwwwwwwwwwwkkkdddddd...",
    "......kwwwwkkkkkkkkkddddddd.....", "......kwwwkdddddddddddddd.......",
    "......kwkkdddddddddddd..........", ".....kwkddddd...................",
    ".....kk.dddd....................", ".......ddd......................",
    ".......dd.......................", "................................",
};

// Application: a plain window with a title bar.
const char *const kApplication[32] = {
    "................................", "................................",
    "................................", "................................",
    "..kkkkkkkkkkkkkkkkkkkkkkkkkkkk..", "..kbbbbbbbbbbbbbbbbbbbbbbbbbbkd.",
    "..kbbbbbbbbbbbbbbbbbbbbbbbbbbkd.", "..kbbbbbbbbbbbbbbbbbbbbbbbbbbkd.",
    "..kbbbbbbbbbbbbbbbbbbbbbbbbbbkd.", "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkd.",
    "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkd.", "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkd.",
    "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkd.", "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkd.",
    "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkd.", "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkd.",
    "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkd.", "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkd.",
    "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkd.", "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkd.",
    "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkd.", "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkd.",
    "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkd.", "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkd.",
    "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkd.", "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkd.",
    "..kwwwwwwwwwwwwwwwwwwwwwwwwwwkd.", "..kkkkkkkkkkkkkkkkkkkkkkkkkkkkd.",
    "...dddddddddddddddddddddddddddd.", "................................",
    "................................", "................................",
};

// Arrow cursor; its hot spot is the top-left pixel.
const char *const kArrow[32] = {
    "k...............................", "kk..............................",
    "kwk.............................", "kwwk............................",
    "kwwwk...........................", "kwwwwk..........................",
    "kwwwwwk.........................", "kwwwwwwk........................",
    "kwwwwwwwk.......................", "kwwwwwwwwk......................",
    "kwwwwwkkkkk.....................", "kwwkwwk.........................",
    "kwk.kwwk........................", "kk..kwwk........................",
    "k....kwwk.......................", ".....kwwk.......................",
    "......kwwk......................", "......kwwk......................",
    ".......kk.......................", "................................",
    "................................", "................................",
    "................................", "................................",
    "................................", "................................",
    "................................", "................................",
    "................................", "................................",
    "................................", "................................",
};

uint32_t Colour(char c) {
    switch (c) {
        case 'k':
            return 0x000000;
        case 'm':
            return 0x800000;
        case 'g':
            return 0x008000;
        case 'o':
            return 0x808000;
        case 'n':
            return 0x000080;
        case 'p':
            return 0x800080;
        case 't':
            return 0x008080;
        case 's':
            return 0xC0C0C0;
        case 'd':
            return 0x808080;
        case 'r':
            return 0xFF0000;
        case 'l':
            return 0x00FF00;
        case 'y':
            return 0xFFFF00;
        case 'b':
            return 0x0000FF;
        case 'f':
            return 0xFF00FF;
        case 'a':
            return 0x00FFFF;
        case 'w':
            return 0xFFFFFF;
        default:
            return 0x000000;
    }
}

void FromMap(const char *const map[32], IconPixels *out) {
    out->width = 32;
    out->height = 32;
    out->colors.assign(32 * 32, 0);
    out->mask.assign(32 * 32, 0);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            char c = map[y][x];
            size_t i = static_cast<size_t>(y) * 32 + x;
            out->mask[i] = c == '.';
            out->colors[i] = c == '.' ? 0 : Colour(c);
        }
    }
}

}  // namespace

bool SystemIconPixels(WORD id, bool cursor, IconPixels *out) {
    struct Entry {
        WORD id;
        const char *const *map;
    };
    static const Entry kIcons[] = {
        {32512, kApplication},  // IDI_APPLICATION
        {32513, kHand},         // IDI_HAND
        {32514, kQuestion},     // IDI_QUESTION
        {32515, kExclamation},  // IDI_EXCLAMATION
        {32516, kAsterisk},     // IDI_ASTERISK
        {32517, kApplication},  // IDI_WINLOGO
    };
    const char *const *map = nullptr;
    if (cursor) {
        if (id == 32512) map = kArrow;  // IDC_ARROW
    } else {
        for (const Entry &e : kIcons)
            if (e.id == id) map = e.map;
    }
    if (map == nullptr) return false;
    FromMap(map, out);
    return true;
}

}  // namespace win32::res
