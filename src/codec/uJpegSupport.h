#pragma once
// libjpeg glue shared by the JPEG codec and its decoder: an error manager that returns
// control to the caller with the library's message instead of exiting the program.

#include <csetjmp>
#include <cstdio>
#include <string>

#include <jpeglib.h>

struct TJpegErrorManager {
    jpeg_error_mgr Public;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

// Installs the manager on Info's err field; errors longjmp to Manager.Jump with the
// library's text in Manager.Message, warnings are ignored.
void InstallJpegErrorManager(jpeg_common_struct* Info, TJpegErrorManager& Manager);
