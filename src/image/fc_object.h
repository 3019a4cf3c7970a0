#pragma once
#include <cstdint>

// Root of the picture classes: an object that can store itself in a flat byte block.
class FCObject {
public:
    virtual ~FCObject() = default;
    // bSave true: write this object into pBlock (when not null) and return the byte count.
    // bSave false: rebuild this object from pBlock and return the bytes consumed.
    virtual int64_t SaveRestoreBlock(bool bSave, uint8_t* pBlock) {
        (void)bSave;
        (void)pBlock;
        return 0;
    }
};

// A graphic with a position: the top-left corner it was cut from in its source picture.
class FCObjGraph : public FCObject {
public:
    int32_t x = 0;
    int32_t y = 0;
};
