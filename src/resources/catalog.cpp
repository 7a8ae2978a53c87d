// Every resource of the library, as a table of type, number and bytes.
#include "resources/resources.h"

namespace vorlex::resources {

const std::vector<Resource> &libraryResources() {
    // Never destroyed: a module's resources stay valid until the process ends.
    static const auto *all = new std::vector<Resource>{
        {LOWORD(RT_GROUP_ICON), kIconTerminal, iconGroup()},
        {LOWORD(RT_ICON), kIconImageLarge, iconImage(32)},
        {LOWORD(RT_ICON), kIconImageSmall, iconImage(16)},
        {LOWORD(RT_MENU), kMenuTerminal, terminalMenu()},
        {LOWORD(RT_BITMAP), kBitmapButtons, buttonBitmap()},
        {LOWORD(RT_DIALOG), kDialogCommErrors, dialogTemplate(kDialogCommErrors)},
        {LOWORD(RT_DIALOG), kDialogSessionParameters, dialogTemplate(kDialogSessionParameters)},
        {LOWORD(RT_DIALOG), kDialogSelectProtocol, dialogTemplate(kDialogSelectProtocol)},
        {LOWORD(RT_DIALOG), kDialogTransferReceive, dialogTemplate(kDialogTransferReceive)},
        {LOWORD(RT_DIALOG), kDialogTransferSend, dialogTemplate(kDialogTransferSend)},
        {LOWORD(RT_DIALOG), kDialogTerminalType, dialogTemplate(kDialogTerminalType)},
    };
    return *all;
}

} // namespace vorlex::resources
