// The category, colour and pen tables. The colour and pen values are constant
// data; the category identifiers are generated from the tree at load.
#include "VSYST_Tables.h"

#include "dllmain/OrvLock.h"

namespace {

const V_RGB_Definition s_ColorTable[267] = {
    // base colours
    {0, 0, 0}, {255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0}, {255, 0, 255}, {255, 0, 0}, {0, 0, 255},
    {240, 140, 20}, {240, 240, 180}, {220, 255, 100}, {200, 200, 50}, {200, 150, 50}, {200, 100, 50}, {150, 100, 50},
    {130, 30, 180},
    // greys
    {31, 31, 31}, {45, 45, 45}, {59, 59, 59}, {73, 73, 73}, {87, 87, 87}, {101, 101, 101}, {115, 115, 115},
    {129, 129, 129}, {143, 143, 143}, {157, 157, 157}, {171, 171, 171}, {185, 185, 185}, {199, 199, 199},
    {213, 213, 213}, {227, 227, 227}, {241, 241, 241},
    // yellow
    {80, 80, 0}, {110, 110, 0}, {140, 140, 0}, {179, 179, 0}, {198, 198, 0}, {217, 217, 0}, {236, 236, 0},
    {245, 245, 0}, {255, 255, 28}, {255, 255, 56}, {255, 255, 84}, {255, 255, 112}, {255, 255, 140},
    {255, 255, 168}, {255, 255, 196}, {255, 255, 224},
    // cyan
    {0, 80, 80}, {0, 110, 110}, {0, 140, 140}, {0, 179, 179}, {0, 198, 198}, {0, 217, 217}, {0, 236, 236},
    {0, 245, 245}, {28, 255, 255}, {56, 255, 255}, {84, 255, 255}, {112, 255, 255}, {140, 255, 255},
    {168, 255, 255}, {196, 255, 255}, {224, 255, 255},
    // green
    {0, 80, 0}, {0, 110, 0}, {0, 140, 0}, {0, 179, 0}, {0, 198, 0}, {0, 217, 0}, {0, 236, 0}, {0, 245, 0},
    {28, 255, 28}, {56, 255, 56}, {84, 255, 84}, {112, 255, 112}, {140, 255, 140}, {168, 255, 168},
    {196, 255, 196}, {224, 255, 224},
    // magenta
    {80, 0, 80}, {110, 0, 110}, {140, 0, 140}, {179, 0, 179}, {198, 0, 198}, {217, 0, 217}, {236, 0, 236},
    {245, 0, 245}, {255, 28, 255}, {255, 56, 255}, {255, 84, 255}, {255, 112, 255}, {255, 140, 255},
    {255, 168, 255}, {255, 196, 255}, {255, 224, 255},
    // red
    {80, 0, 0}, {110, 0, 0}, {140, 0, 0}, {159, 0, 0}, {178, 0, 0}, {197, 0, 0}, {216, 0, 0}, {245, 0, 0},
    {255, 28, 28}, {255, 56, 56}, {255, 84, 84}, {255, 112, 112}, {255, 140, 140}, {255, 168, 168},
    {255, 196, 196}, {255, 224, 224},
    // blue
    {0, 0, 80}, {0, 0, 110}, {0, 0, 140}, {0, 0, 179}, {0, 0, 198}, {0, 0, 217}, {0, 0, 236}, {0, 0, 245},
    {28, 28, 255}, {56, 56, 255}, {84, 84, 255}, {112, 112, 255}, {140, 140, 255}, {168, 168, 255},
    {196, 196, 255}, {224, 224, 255},
    // orange
    {120, 60, 20}, {135, 70, 20}, {150, 80, 20}, {165, 90, 20}, {180, 100, 20}, {195, 110, 20}, {210, 120, 20},
    {225, 130, 20}, {240, 145, 30}, {240, 150, 40}, {240, 155, 50}, {240, 160, 60}, {240, 165, 70},
    {240, 170, 80}, {240, 175, 90}, {240, 180, 100},
    // cream
    {160, 160, 140}, {170, 170, 145}, {180, 180, 150}, {190, 190, 155}, {200, 200, 160}, {210, 210, 165},
    {220, 220, 170}, {230, 230, 175}, {240, 240, 189}, {240, 240, 198}, {240, 240, 207}, {240, 240, 216},
    {240, 240, 225}, {240, 240, 234}, {240, 240, 243}, {240, 240, 252},
    // lime
    {100, 135, 60}, {115, 150, 65}, {130, 165, 70}, {145, 180, 75}, {160, 195, 80}, {175, 210, 85},
    {190, 225, 90}, {205, 240, 95}, {224, 255, 110}, {228, 255, 120}, {232, 255, 130}, {236, 255, 140},
    {240, 255, 150}, {244, 255, 160}, {248, 255, 170}, {252, 255, 180},
    // olive
    {120, 120, 50}, {130, 130, 50}, {140, 140, 50}, {150, 150, 50}, {160, 160, 50}, {170, 170, 50},
    {180, 180, 50}, {190, 190, 50}, {205, 206, 65}, {210, 212, 80}, {215, 218, 95}, {220, 224, 110},
    {225, 230, 125}, {230, 236, 140}, {235, 242, 155}, {240, 248, 170},
    // ochre
    {80, 70, 50}, {95, 80, 50}, {110, 90, 50}, {125, 100, 50}, {140, 110, 50}, {155, 120, 50}, {170, 130, 50},
    {185, 140, 50}, {205, 155, 60}, {210, 160, 70}, {215, 165, 80}, {220, 170, 90}, {225, 175, 100},
    {230, 180, 110}, {235, 185, 120}, {240, 190, 130},
    // rust
    {80, 20, 10}, {95, 30, 15}, {110, 40, 20}, {125, 50, 25}, {140, 60, 30}, {155, 70, 35}, {170, 80, 40},
    {185, 90, 45}, {206, 110, 60}, {212, 120, 70}, {218, 130, 80}, {224, 140, 90}, {230, 150, 100},
    {236, 160, 110}, {242, 170, 120}, {248, 180, 130},
    // brown
    {70, 20, 10}, {80, 30, 15}, {90, 40, 20}, {100, 50, 25}, {110, 60, 30}, {120, 70, 35}, {130, 80, 40},
    {140, 90, 45}, {155, 113, 67}, {160, 126, 84}, {165, 139, 101}, {170, 152, 118}, {175, 165, 135},
    {180, 178, 152}, {185, 191, 169}, {190, 204, 186},
    // violet
    {15, 30, 60}, {30, 30, 75}, {45, 30, 90}, {60, 30, 105}, {75, 30, 120}, {90, 30, 135}, {105, 30, 150},
    {120, 30, 165}, {140, 50, 189}, {150, 70, 198}, {160, 90, 207}, {170, 110, 216}, {180, 130, 225},
    {190, 150, 234}, {200, 170, 243}, {210, 190, 252},
    // further colours
    {255, 128, 0}, {128, 128, 128}, {160, 160, 160}, {192, 192, 192}, {250, 250, 250}, {128, 128, 0},
    {0, 128, 128}, {0, 128, 0}, {128, 0, 128}, {128, 0, 0}, {0, 0, 128},
};

// Guards the first instance() calls, which may come from several threads.
orv::Lock s_singletonLock;

template <class T>
T& singleton(V_CapsulatedPointer<T>& holder, T* (*make)())
{
    orv::Locked guard(s_singletonLock);
    if (!holder) holder.reset(make());
    return *holder;
}

const double s_PenTable[VSYST_PenTable::VPT_Count] = {0.0, 0.13, 0.18, 0.25, 0.35, 0.5, 0.7, 1.0,
                                                      1.4, 2.0, 2.1, 2.2, 2.3, 2.4, 2.5};

}  // namespace

// The tree below the root "0": six top categories of four, each of those of
// four again; a third-level node c has 2, 4, 4 or 3 children for c = 0-3.
bool VSYST_CategoryTable::makeCategoryTable()
{
    static const int fourthLevel[4] = {2, 4, 4, 3};
    V_STRING* out = s_CategoryTable;
    char id[] = "0-a-b-c-d";
    for (int a = 0; a < 6; ++a) {
        id[2] = static_cast<char>('0' + a);
        *out++ = V_STRING(id, 3);
        for (int b = 0; b < 4; ++b) {
            id[4] = static_cast<char>('0' + b);
            *out++ = V_STRING(id, 5);
            for (int c = 0; c < 4; ++c) {
                id[6] = static_cast<char>('0' + c);
                *out++ = V_STRING(id, 7);
                for (int d = 0; d < fourthLevel[c]; ++d) {
                    id[8] = static_cast<char>('0' + d);
                    *out++ = V_STRING(id, 9);
                }
            }
        }
    }
    return out == s_CategoryTable + VCT_Count;
}

VSYST_CategoryTable& VSYST_CategoryTable::instance()
{
    return singleton<VSYST_CategoryTable>(s_instance, [] { return new VSYST_CategoryTable; });
}

V_STRING VSYST_CategoryTable::getCategoryIDAsString(unsigned long index) const
{
    return s_CategoryTable[index];
}

VSYST_ColorTable& VSYST_ColorTable::instance()
{
    return singleton<VSYST_ColorTable>(s_instance, [] { return new VSYST_ColorTable; });
}

VSYST_ColorTable::~VSYST_ColorTable() {}

unsigned long VSYST_ColorTable::getSystemColorIndex(VSYST_ColorName name, long shade)
{
    if (shade == 0) return static_cast<unsigned long>(name);
    if (shade < -8) shade = -8;
    if (shade > 8) shade = 8;
    // Black and white share the grey ramp at 16-31; the other colours own a
    // row of sixteen with no middle entry, so the darker shades sit one further.
    if (name == VCN_Black) return static_cast<unsigned long>(15 + shade);
    if (name == VCN_White) return static_cast<unsigned long>(30 + shade);
    return static_cast<unsigned long>(16 * static_cast<long>(name) + shade + (shade > 0 ? 7 : 8));
}

void VSYST_ColorTable::getSystemColor(unsigned long index, double& red, double& green, double& blue)
{
    const V_RGB_Definition& c = s_ColorTable[index];
    red = c.red / 255.0;
    green = c.green / 255.0;
    blue = c.blue / 255.0;
}

VSYST_PenTable& VSYST_PenTable::instance()
{
    return singleton<VSYST_PenTable>(s_instance, [] { return new VSYST_PenTable; });
}

double VSYST_PenTable::getPenWidth(unsigned long index) const
{
    return s_PenTable[index];
}
