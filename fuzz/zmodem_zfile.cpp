// ZFILE information and name handling, through the whole receiver
// (Func024) into a scratch directory: nothing may be written outside it.
// Input: options (bit 0: resume, bit 1: text mode, bit 2: a hex ZFILE
// header), the header's four data bytes, then the information subpacket
// (name, NUL, length and the rest). A short file, its end and the batch's
// end follow. Full path names stay off: they let the sender choose any
// directory, by design.
#include "fuzz_port.h"
#include "receive_dir.h"
#include "zframes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 5) return 0;
    static fuzzport::ReceiveDir dir;
    fuzzport::line();
    const uint8_t options = data[0];
    const std::string flags(reinterpret_cast<const char *>(data + 1), 4);
    const std::string info(reinterpret_cast<const char *>(data + 5), size - 5);
    std::string wire = zf::hexHeader(zf::ZRQINIT, 0);
    wire += (options & 4) ? zf::hexHeader(zf::ZFILE, flags) : zf::binHeader(zf::ZFILE, flags);
    wire += zf::subpacket(info, 'k');
    wire += zf::binHeader(zf::ZDATA, zf::le32(0)) + zf::subpacket("data", 'h');
    wire += zf::binHeader(zf::ZEOF, zf::le32(4));
    wire += zf::hexHeader(zf::ZFIN, 0) + "OO";
    Func090(fuzzport::kPort, 1, options & 1, 0, 0, 60);
    Func070(fuzzport::kPort, options & 1, 0, (options >> 1) & 1);
    if (!fuzzport::feed(wire)) std::abort();
    const LONG result = Func024(fuzzport::kPort, nullptr, dir.path().c_str());
    fuzzport::report(result);
    dir.check();
    return 0;
}
