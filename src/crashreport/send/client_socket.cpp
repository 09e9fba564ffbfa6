#include "crashreport/send/client_socket.h"
