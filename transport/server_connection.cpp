// The connection to the server of the current URL, with its credentials,
// receive time-out and proxy credentials.
#include "ZemHttp.h"

int CZemHttp::InternetMakeConnection(HINTERNET) { return IsConnected(); }
