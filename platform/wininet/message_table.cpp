// The messages of every code this library sets. FormatMessageA reads them
// through the exported table (it adds the line end); the library itself uses
// them for its failure descriptions.
#include "failure.h"
#include "wininet.h"

extern "C" ZEM_EXPORT const ZEM_MESSAGE_ENTRY ZemMessageTable[] = {
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory is available to complete the operation."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_CALL_NOT_IMPLEMENTED, "This function is not available in this internet library."},
    {ERROR_INSUFFICIENT_BUFFER, "The buffer is too small for the data to be returned."},
    {ERROR_NO_MORE_ITEMS, "There are no more items: nothing of the kind was found."},
    {ERROR_IO_PENDING, "The operation is in progress and completes later."},
    {ERROR_NOACCESS, "A buffer given by the caller cannot be accessed."},
    {ERROR_INTERNET_OUT_OF_HANDLES, "No more internet handles can be created."},
    {ERROR_INTERNET_TIMEOUT, "The operation timed out."},
    {ERROR_INTERNET_EXTENDED_ERROR, "The server returned extended information."},
    {ERROR_INTERNET_INTERNAL_ERROR, "An internal error occurred in the internet library."},
    {ERROR_INTERNET_INVALID_URL, "The URL is invalid."},
    {ERROR_INTERNET_UNRECOGNIZED_SCHEME, "The URL scheme is not recognized or not supported."},
    {ERROR_INTERNET_NAME_NOT_RESOLVED, "The server name or address could not be resolved."},
    {ERROR_INTERNET_PROTOCOL_NOT_FOUND, "The requested protocol is not available."},
    {ERROR_INTERNET_INVALID_OPTION, "The option is not known."},
    {ERROR_INTERNET_BAD_OPTION_LENGTH, "The length given for the option does not fit its type."},
    {ERROR_INTERNET_OPTION_NOT_SETTABLE, "The option can be queried but not set."},
    {ERROR_INTERNET_LOGIN_FAILURE, "The login was refused."},
    {ERROR_INTERNET_INVALID_OPERATION, "The operation is not valid here."},
    {ERROR_INTERNET_OPERATION_CANCELLED, "The operation was cancelled because its handle was closed."},
    {ERROR_INTERNET_INCORRECT_HANDLE_TYPE, "The handle is of the wrong type for this operation."},
    {ERROR_INTERNET_INCORRECT_HANDLE_STATE, "The operation is not possible in the handle's current state."},
    {ERROR_INTERNET_CANNOT_CONNECT, "A connection to the server could not be established."},
    {ERROR_INTERNET_CONNECTION_ABORTED, "The connection with the server was ended abnormally."},
    {ERROR_INTERNET_CONNECTION_RESET, "The connection with the server was reset."},
    {ERROR_INTERNET_SEC_CERT_DATE_INVALID, "The server's certificate has expired or is not yet valid."},
    {ERROR_INTERNET_SEC_CERT_CN_INVALID, "The server's certificate was issued for another host name."},
    {ERROR_INTERNET_INVALID_CA, "The server's certificate was not issued by a trusted authority."},
    {ERROR_INTERNET_SEC_CERT_ERRORS, "The server's certificate has errors."},
    {ERROR_INTERNET_SEC_INVALID_CERT, "The server's certificate is invalid."},
    {ERROR_INTERNET_SEC_CERT_REVOKED, "The server's certificate has been revoked."},
    {ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "A secure channel to the server could not be established."},
    {ERROR_INTERNET_PROXY_SERVER_UNREACHABLE, "The proxy server could not be reached."},
    {ERROR_INTERNET_NOT_INITIALIZED, "The internet library could not be initialized."},
    {ERROR_HTTP_HEADER_NOT_FOUND, "The requested header was not found."},
    {ERROR_HTTP_INVALID_SERVER_RESPONSE, "The server returned an invalid or unrecognized response."},
    {ERROR_HTTP_INVALID_HEADER, "The header is invalid."},
    {ERROR_HTTP_INVALID_QUERY_REQUEST, "The query for request or response information is invalid."},
    {ERROR_HTTP_HEADER_ALREADY_EXISTS, "The header was not added because it is already present."},
    {ERROR_HTTP_REDIRECT_FAILED,
     "The redirection failed: the new location has an unsupported scheme or there were too many redirections."},
    {0, nullptr},
};

namespace zem::wininet {

const char *MessageText(DWORD code) {
  for (const ZEM_MESSAGE_ENTRY *entry = ZemMessageTable; entry->pszText != nullptr; ++entry) {
    if (entry->dwMessageId == code) return entry->pszText;
  }
  return "Unknown error.";
}

}  // namespace zem::wininet
