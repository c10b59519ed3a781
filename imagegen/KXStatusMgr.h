#pragma once

// The host's window on a long conversion: how far it has come and whether
// the user wants it stopped. The image generator hands it to the makers;
// the tile makers report the tiles done (0 of n before the first, then after
// each tile) and ask before every tile whether to go on. A conversion that
// is told to stop ends between two tiles with KXRESULT_CANCELLED. Both calls
// come from the thread that runs the conversion.
class IKXStatusMgr
{
public:
    virtual void setProgress(unsigned done, unsigned total) = 0;
    virtual bool isCancelled() = 0;

protected:
    IKXStatusMgr() = default;
    ~IKXStatusMgr() = default;
};
