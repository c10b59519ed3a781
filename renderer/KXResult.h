#pragma once

// Result codes of the operations that report an outcome. Everything else
// reports nothing and simply does nothing when it cannot act.
enum KXRESULT : int {
    KXRESULT_OK = 0,
    KXRESULT_FAILED = -1,       // no device, a failed device call, an object of the wrong class, mismatched sizes
    KXRESULT_UNSUPPORTED = -2,  // asked for something the callee does not do
    KXRESULT_NULLARGUMENT = -3, // a required pointer argument was null (tested before anything else)
    KXRESULT_BUFFERFALLBACK = -8, // a device buffer could not be created; the caller falls back
    KXRESULT_CANCELLED = -12,     // the host asked a long operation to stop; nothing was delivered
};
