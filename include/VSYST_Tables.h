// VSYST_Tables.h - the platform's drawing conventions as read-only tables:
// category identifiers, the 267 standard colours with the shades of the
// sixteen base colours, and the fifteen standard pen widths. Each table sits
// behind a singleton created on the first instance() call (the first calls
// must not race) and deleted when the library is unloaded. No operation checks
// its index: categories run 0-437, colours 0-266, pens 0-14.
#ifndef VSYST_TABLES_H
#define VSYST_TABLES_H

#include "OrvCoreDefs.h"
#include "V_CapsulatedPointer.h"
#include "V_String.h"

// The identifiers of the category tree, depth first: "0-0", "0-0-0",
// "0-0-0-0", "0-0-0-0-0", ... "0-5-3-3-2".
class ORVCORE_API VSYST_CategoryTable {
public:
    enum { VCT_Count = 438 };
    static VSYST_CategoryTable& instance();
    // A copy of the identifier at index.
    V_STRING getCategoryIDAsString(unsigned long index) const;

private:
    VSYST_CategoryTable() {}
    VSYST_CategoryTable(const VSYST_CategoryTable&) = delete;
    VSYST_CategoryTable& operator=(const VSYST_CategoryTable&) = delete;

    static bool makeCategoryTable();   // fills s_CategoryTable at load

    static V_CapsulatedPointer<VSYST_CategoryTable> s_instance;
    static V_STRING s_CategoryTable[VCT_Count];
    static const bool s_CategoryTableMade;
};

struct V_RGB_Definition {
    unsigned char red;
    unsigned char green;
    unsigned char blue;
};

// The sixteen base colours: indices 0-15 of the colour table.
enum VSYST_ColorName {
    VCN_Black, VCN_White, VCN_Yellow, VCN_Cyan, VCN_Green, VCN_Magenta, VCN_Red, VCN_Blue,
    VCN_Orange, VCN_Cream, VCN_Lime, VCN_Olive, VCN_Ochre, VCN_Rust, VCN_Brown, VCN_Violet
};

// 0-15 the base colours; 16-31 greys from 31 to 241, the lighter shades of
// black and the darker ones of white; 16k to 16k+15 (k = 2-15) the shades of
// base colour k, eight darker then eight lighter; 256-266 further colours.
class ORVCORE_API VSYST_ColorTable {
public:
    static VSYST_ColorTable& instance();
    virtual ~VSYST_ColorTable();

    unsigned long getMaxColorIndex() const { return 266; }
    // The index of a shade of a base colour: shade 0 is the base colour, -8
    // the darkest and 8 the palest; shades beyond are clamped.
    unsigned long getSystemColorIndex(VSYST_ColorName name, long shade);
    // The colour at index, each component from 0.0 to 1.0.
    void getSystemColor(unsigned long index, double& red, double& green, double& blue);

private:
    VSYST_ColorTable() {}
    VSYST_ColorTable(const VSYST_ColorTable&) = delete;
    VSYST_ColorTable& operator=(const VSYST_ColorTable&) = delete;

    static V_CapsulatedPointer<VSYST_ColorTable> s_instance;
};

// Pen widths by pen index: 0.0, 0.13, 0.18 ... 2.5.
class ORVCORE_API VSYST_PenTable {
public:
    enum { VPT_Count = 15 };
    static VSYST_PenTable& instance();
    double getPenWidth(unsigned long index) const;

private:
    VSYST_PenTable() {}
    VSYST_PenTable(const VSYST_PenTable&) = delete;
    VSYST_PenTable& operator=(const VSYST_PenTable&) = delete;

    static V_CapsulatedPointer<VSYST_PenTable> s_instance;
};

#endif
