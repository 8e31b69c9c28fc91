#include "store/common/storeresult.h"

namespace store {

const char *codeName(Code code) {
    switch (code) {
    case Code::Ok:
        return "Ok";
    case Code::NotFound:
        return "NotFound";
    case Code::WrongPassword:
        return "WrongPassword";
    case Code::Damaged:
        return "Damaged";
    case Code::TooLarge:
        return "TooLarge";
    case Code::IoError:
        return "IoError";
    case Code::Unavailable:
        return "Unavailable";
    case Code::NotDue:
        return "NotDue";
    case Code::BadInput:
        return "BadInput";
    case Code::NotEmpty:
        return "NotEmpty";
    }
    return "?";
}

} // namespace store
