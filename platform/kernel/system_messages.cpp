// The system's own message texts, one per code the platform reports.
#include "system_messages.h"

namespace zem::platform {
namespace {

struct SystemMessage {
  DWORD code;
  const char *text;
};

constexpr SystemMessage kSystemMessages[] = {
    {ERROR_SUCCESS, "Success."},
    {ERROR_INVALID_FUNCTION, "Function not supported for this object."},
    {ERROR_FILE_NOT_FOUND, "No such file."},
    {ERROR_PATH_NOT_FOUND, "No such folder."},
    {ERROR_TOO_MANY_OPEN_FILES, "Too many open files."},
    {ERROR_ACCESS_DENIED, "Permission denied."},
    {ERROR_INVALID_HANDLE, "Bad handle."},
    {ERROR_NOT_ENOUGH_MEMORY, "Out of memory."},
    {ERROR_INVALID_DATA, "The data is not valid."},
    {ERROR_OUTOFMEMORY, "Not enough memory to finish the operation."},
    {ERROR_WRITE_FAULT, "The device could not be written."},
    {ERROR_READ_FAULT, "The device could not be read."},
    {ERROR_GEN_FAILURE, "The device failed."},
    {ERROR_SHARING_VIOLATION, "The file is in use by another process."},
    {ERROR_HANDLE_EOF, "End of file reached."},
    {ERROR_HANDLE_DISK_FULL, "The disk is full."},
    {ERROR_NOT_SUPPORTED, "Operation not supported."},
    {ERROR_FILE_EXISTS, "File exists."},
    {ERROR_INVALID_PARAMETER, "Invalid argument."},
    {ERROR_BROKEN_PIPE, "Broken pipe."},
    {ERROR_OPEN_FAILED, "The file or device could not be opened."},
    {ERROR_BUFFER_OVERFLOW, "File name too long."},
    {ERROR_DISK_FULL, "No space left on the disk."},
    {ERROR_CALL_NOT_IMPLEMENTED, "Function not implemented."},
    {ERROR_INSUFFICIENT_BUFFER, "The buffer is too small for the data."},
    {ERROR_INVALID_NAME, "The file, folder or volume name is malformed."},
    {ERROR_MOD_NOT_FOUND, "Module not found."},
    {ERROR_PROC_NOT_FOUND, "Procedure not found in the module."},
    {ERROR_NEGATIVE_SEEK, "Seek before the start of the file."},
    {ERROR_DIR_NOT_EMPTY, "Folder not empty."},
    {ERROR_BAD_PATHNAME, "The path is malformed."},
    {ERROR_BUSY, "Resource busy."},
    {ERROR_ALREADY_EXISTS, "The object already exists."},
    {ERROR_BAD_EXE_FORMAT, "Not a loadable module for this platform."},
    {ERROR_FILENAME_EXCED_RANGE, "The name or path is too long."},
    {ERROR_MORE_DATA, "More data is available."},
    {WAIT_TIMEOUT, "The wait timed out."},
    {ERROR_NO_MORE_ITEMS, "No more items."},
    {ERROR_DIRECTORY, "Not a folder."},
    {ERROR_MR_MID_NOT_FOUND, "No message text for this message number."},
    {ERROR_NOT_OWNER, "The calling thread does not own the object."},
    {ERROR_PARTIAL_COPY, "Only part of the memory could be copied."},
    {ERROR_ARITHMETIC_OVERFLOW, "Arithmetic result out of range."},
    {ERROR_OPERATION_ABORTED, "The operation was cancelled."},
    {ERROR_IO_INCOMPLETE, "The input or output operation has not finished."},
    {ERROR_IO_PENDING, "The operation is in progress."},
    {ERROR_NOACCESS, "Bad address."},
    {ERROR_CAN_NOT_COMPLETE, "The operation could not be completed."},
    {ERROR_INVALID_FLAGS, "Invalid flags."},
    {ERROR_DLL_INIT_FAILED, "The module failed to initialise."},
    {ERROR_INVALID_DLL, "The module is damaged."},
    {ERROR_NOT_FOUND, "Element not found."},
    {ERROR_INVALID_WINDOW_HANDLE, "Bad window handle."},
    {ERROR_INVALID_MENU_HANDLE, "Bad menu handle."},
    {ERROR_CLASS_ALREADY_EXISTS, "The window class already exists."},
    {ERROR_CLASS_DOES_NOT_EXIST, "No such window class."},
    {ERROR_INVALID_INDEX, "Index out of range."},
    {ERROR_CONTROL_ID_NOT_FOUND, "No control with that identifier."},
    {ERROR_TIMEOUT, "The operation timed out."},
    {ERROR_RESOURCE_DATA_NOT_FOUND, "The module holds no data of that kind."},
    {ERROR_RESOURCE_TYPE_NOT_FOUND, "The module holds no message table."},
    {ERROR_RESOURCE_NAME_NOT_FOUND, "No resource of that name in the module."},
};

}  // namespace

const char *SystemMessageText(DWORD code) {
  for (const SystemMessage &message : kSystemMessages) {
    if (message.code == code) return message.text;
  }
  return nullptr;
}

}  // namespace zem::platform
