// The one header a client includes.
//
// It brings the inspector class RavoDUZE with its flag enumerations, the
// typed run-time error, and the client side of the platform model: the
// process a client runs in, its strings, and the way it declares variables and
// passes them.
#ifndef DUDUDUDADOD_DUDUDUDADOD_H_
#define DUDUDUDADOD_DUDUDUDADOD_H_

#include "automation/bstr.h"
#include "automation/client.h"
#include "automation/process.h"
#include "automation/runtime_error.h"
#include "automation/utf8.h"
#include "automation/variant.h"
#include "inspector/ravoduze.h"

#endif  // DUDUDUDADOD_DUDUDUDADOD_H_
