// The X11 key table against keyboard maps this machine's XKB data compiles
// (tests/fixtures/keymaps, written by tools/keymap_fixture.py) and the codes
// the same layouts give the keys on the other desktop.
#include "platform/linux/keytable.h"
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

struct Map {
    KeySlot slots[256];
    KeyMeaning mean[256];
    int codeOf(const char *name) const {
        for (int kc = 0; kc < 256; kc++)
            if (!strcmp(slots[kc].name, name)) return kc;
        return -1;
    }
    const KeyMeaning &key(const char *name) const {
        static const KeyMeaning none = {};
        int kc = codeOf(name);
        return kc < 0 ? none : mean[kc];
    }
};

bool Load(const char *layout, Map *m, const char *assignAs = nullptr) {
    memset(m, 0, sizeof *m);
    std::string path = std::string(QV_KEYMAP_FIXTURES) + "/" + layout + ".txt";
    FILE *f = fopen(path.c_str(), "r");
    if (!f) return false;
    int kc = 0;
    char name[8] = {};
    unsigned a = 0, b = 0;
    while (fscanf(f, "%d %7s %x %x", &kc, name, &a, &b) == 4)
        if (kc > 0 && kc < 256) {
            memcpy(m->slots[kc].name, name, 4);
            m->slots[kc].sym[0] = a;
            m->slots[kc].sym[1] = b;
        }
    fclose(f);
    KeyTableAssign(assignAs ? assignAs : layout, m->slots, m->mean);
    return true;
}

// The typing keys, row by row.
const char *const kTyping[] = {
    "TLDE", "AE01", "AE02", "AE03", "AE04", "AE05", "AE06", "AE07", "AE08", "AE09", "AE10", "AE11",
    "AE12", "AD01", "AD02", "AD03", "AD04", "AD05", "AD06", "AD07", "AD08", "AD09", "AD10", "AD11",
    "AD12", "AC01", "AC02", "AC03", "AC04", "AC05", "AC06", "AC07", "AC08", "AC09", "AC10", "AC11",
    "BKSL", "LSGT", "AB01", "AB02", "AB03", "AB04", "AB05", "AB06", "AB07", "AB08", "AB09", "AB10",
};

// What the other desktop's layouts of the same name assign to them.
struct Expected {
    const char *layout;
    uint8_t vk[48];
} const kExpected[] = {
    {"us",
     {0xC0, '1', '2',  '3',  '4',  '5',  '6', '7',  '8',  '9', '0', 0xBD, 0xBB, 'Q',  'W',  'E',
      'R',  'T', 'Y',  'U',  'I',  'O',  'P', 0xDB, 0xDD, 'A', 'S', 'D',  'F',  'G',  'H',  'J',
      'K',  'L', 0xBA, 0xDE, 0xDC, 0xE2, 'Z', 'X',  'C',  'V', 'B', 'N',  'M',  0xBC, 0xBE, 0xBF}},
    {"de",
     {0xDC, '1', '2',  '3',  '4',  '5',  '6', '7',  '8',  '9', '0', 0xDB, 0xDD, 'Q',  'W',  'E',
      'R',  'T', 'Z',  'U',  'I',  'O',  'P', 0xBA, 0xBB, 'A', 'S', 'D',  'F',  'G',  'H',  'J',
      'K',  'L', 0xC0, 0xDE, 0xBF, 0xE2, 'Y', 'X',  'C',  'V', 'B', 'N',  'M',  0xBC, 0xBE, 0xBD}},
    {"fr",
     {0xDE, '1', '2', '3',  '4',  '5',  '6', '7',  '8',  '9', '0', 0xDB, 0xBB, 'A',  'Z',  'E',
      'R',  'T', 'Y', 'U',  'I',  'O',  'P', 0xDD, 0xBA, 'Q', 'S', 'D',  'F',  'G',  'H',  'J',
      'K',  'L', 'M', 0xC0, 0xDC, 0xE2, 'W', 'X',  'C',  'V', 'B', 'N',  0xBC, 0xBE, 0xBF, 0xDF}},
    {"gb",
     {0xDF, '1', '2',  '3',  '4',  '5',  '6', '7',  '8',  '9', '0', 0xBD, 0xBB, 'Q',  'W',  'E',
      'R',  'T', 'Y',  'U',  'I',  'O',  'P', 0xDB, 0xDD, 'A', 'S', 'D',  'F',  'G',  'H',  'J',
      'K',  'L', 0xBA, 0xC0, 0xDE, 0xDC, 'Z', 'X',  'C',  'V', 'B', 'N',  'M',  0xBC, 0xBE, 0xBF}},
};

} // namespace

TEST(X11KeyTable, TypingKeysGetTheOtherDesktopsCodesForTheSameLayout) {
    for (const Expected &e : kExpected) {
        Map m;
        ASSERT_TRUE(Load(e.layout, &m)) << e.layout;
        for (int i = 0; i < 48; i++) {
            const KeyMeaning &k = m.key(kTyping[i]);
            EXPECT_EQ(k.vk, e.vk[i]) << e.layout << " " << kTyping[i];
            EXPECT_EQ(k.vkNumOff, k.vk) << e.layout << " " << kTyping[i];
            EXPECT_NE(k.scan, 0) << e.layout << " " << kTyping[i];
        }
    }
}

TEST(X11KeyTable, OneKeyOneCodeAndEveryKeyOfTheKeyboardHasOne) {
    for (const char *layout : {"us", "de", "fr", "gb"}) {
        Map m;
        ASSERT_TRUE(Load(layout, &m));
        int owner[256] = {};
        int keys = 0;
        for (int kc = 8; kc < 256; kc++) {
            const KeyMeaning &k = m.mean[kc];
            if (!k.scan) continue; // not a key of a PC keyboard
            // F13 and up type media symbols on these maps, which have no
            // code of their own.
            if (!k.vk && (m.slots[kc].sym[0] & 0xFFFF0000u) == 0x10080000u) continue;
            keys++;
            EXPECT_NE(k.vk, 0) << layout << " " << m.slots[kc].name;
            // Enter and the keypad's Enter share their code, as they do on
            // the other desktop (only the extended flag tells them apart).
            if (!k.vk || k.vk == 0x0D) continue;
            EXPECT_EQ(owner[k.vk], 0) << layout << " " << m.slots[kc].name << " and "
                                      << m.slots[owner[k.vk]].name << " share " << int(k.vk);
            owner[k.vk] = kc;
        }
        EXPECT_GE(keys, 95) << layout;
    }
}

TEST(X11KeyTable, ModifiersKeypadAndAltGr) {
    struct {
        const char *layout;
        bool altGr; // the right Alt selects level 3
    } cases[] = {{"us", false}, {"de", true}, {"fr", true}, {"gb", true}};
    for (auto &c : cases) {
        Map m;
        ASSERT_TRUE(Load(c.layout, &m));
        EXPECT_EQ(m.key("LFSH").vk, 0xA0) << c.layout;
        EXPECT_EQ(m.key("RTSH").vk, 0xA1) << c.layout;
        EXPECT_EQ(m.key("LCTL").vk, 0xA2) << c.layout;
        EXPECT_EQ(m.key("RCTL").vk, 0xA3) << c.layout;
        EXPECT_EQ(m.key("LALT").vk, 0xA4) << c.layout;
        EXPECT_EQ(m.key("RALT").vk, 0xA5) << c.layout;
        EXPECT_EQ(m.key("RALT").altGr != 0, c.altGr) << c.layout;
        EXPECT_EQ(m.key("RALT").scan, 0x38) << c.layout;
        // evdev's internal level-3 code, which xdotool uses for AltGr.
        EXPECT_EQ(m.key("LVL3").altGr, 1) << c.layout;
        EXPECT_EQ(m.key("LVL3").vk, 0xA5) << c.layout;
        EXPECT_EQ(m.key("LVL3").scan, 0) << c.layout;
        // Num Lock on: the digits; off: the navigation codes.
        const char *pad[] = {"KP0", "KP1", "KP2", "KP3", "KP4", "KP5",
                             "KP6", "KP7", "KP8", "KP9", "KPDL"};
        const uint8_t on[] = {0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6E};
        const uint8_t off[] = {0x2D, 0x23, 0x28, 0x22, 0x25, 0x0C, 0x27, 0x24, 0x26, 0x21, 0x2E};
        for (int i = 0; i < 11; i++) {
            EXPECT_EQ(m.key(pad[i]).vk, on[i]) << c.layout << " " << pad[i];
            EXPECT_EQ(m.key(pad[i]).vkNumOff, off[i]) << c.layout << " " << pad[i];
        }
        EXPECT_EQ(m.key("KPEN").vk, 0x0D);
        EXPECT_EQ(m.key("KPDV").vk, 0x6F);
        EXPECT_EQ(m.key("CAPS").vk, 0x14);
        EXPECT_EQ(m.key("FK12").vk, 0x7B);
        EXPECT_EQ(m.key("HOME").vk, 0x24);
        EXPECT_EQ(m.key("DELE").vk, 0x2E);
        // The map's F13 key types a media symbol, not F13: it is not
        // played as F13.
        EXPECT_NE(m.key("FK13").vk, 0x7C);
    }
}

TEST(X11KeyTable, UnknownLayoutsStillGetLettersAndDistinctCodes) {
    // The German keys under a name the table does not know: letters and
    // digits by what they type, the rest by US position or symbol.
    Map m;
    ASSERT_TRUE(Load("de", &m, "xx"));
    EXPECT_EQ(m.key("AD06").vk, 'Z');
    EXPECT_EQ(m.key("AB01").vk, 'Y');
    EXPECT_EQ(m.key("AB08").vk, 0xBC); // comma by its symbol
    EXPECT_EQ(m.key("AB10").vk, 0xBD); // minus by its symbol
    int owner[256] = {};
    for (const char *name : kTyping) {
        uint8_t vk = m.key(name).vk;
        EXPECT_NE(vk, 0) << name;
        EXPECT_EQ(owner[vk], 0) << name;
        owner[vk] = 1;
    }
    // Variants and lists of layouts name their base layout first.
    Map v;
    ASSERT_TRUE(Load("de", &v, "de(nodeadkeys)"));
    EXPECT_EQ(v.key("BKSL").vk, 0xBF);
}

TEST(X11KeyTable, ScanCodesNameTheirPositions) {
    struct {
        uint8_t scan;
        bool extended;
        const char *name;
    } cases[] = {{0x1E, false, "AC01"}, {0x2B, false, "BKSL"}, {0x56, false, "LSGT"},
                 {0x47, false, "KP7"},  {0x47, true, "HOME"},  {0x38, true, "RALT"},
                 {0x1C, true, "KPEN"},  {0x29, false, "TLDE"}};
    for (auto &c : cases) {
        const char *name = KeyTableNameOfScan(c.scan, c.extended);
        ASSERT_TRUE(name) << int(c.scan);
        EXPECT_STREQ(name, c.name);
    }
    EXPECT_EQ(KeyTableNameOfScan(0, false), nullptr);
    EXPECT_EQ(KeyTableNameOfScan(0x7F, false), nullptr);
    EXPECT_EQ(KeyTableScan(0x41), 0x1E);
    EXPECT_EQ(KeyTableScan(0xE2), 0x56);
    EXPECT_EQ(KeyTableVkOfKeysym('q'), 'Q');
    EXPECT_EQ(KeyTableVkOfKeysym(0xFFBE), 0x70u); // F1
    EXPECT_EQ(KeyTableKeysymOfVk(0x7C), 0xFFCAu); // F13
}
