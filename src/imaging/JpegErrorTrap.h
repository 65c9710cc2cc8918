#pragma once
// libjpeg's own error handler ends the process; this one jumps back to the caller's setjmp with
// the message instead, and keeps warnings quiet. Shared by the JPEG writer and Tight's decoder.
// Include after <jpeglib.h>.

#include <csetjmp>

namespace zarn {

struct JpegErrorTrap {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] inline void JumpOnJpegError(j_common_ptr info)
{
    auto* trap = reinterpret_cast<JpegErrorTrap*>(info->err);
    info->err->format_message(info, trap->message);
    std::longjmp(trap->jump, 1);
}

inline void IgnoreJpegWarning(j_common_ptr) { }

// Installs the trap as `info`'s error manager.
inline jpeg_error_mgr* InstallJpegErrorTrap(JpegErrorTrap& trap)
{
    jpeg_error_mgr* manager = jpeg_std_error(&trap.manager);
    manager->error_exit = JumpOnJpegError;
    manager->output_message = IgnoreJpegWarning;
    return manager;
}

} // namespace zarn
