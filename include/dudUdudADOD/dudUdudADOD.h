// The one header a client includes.
//
// It brings the inspector class RavoDUZE with its flag enumerations, the
// typed run-time error, and the client side of the platform model: the
// process a client runs in, its strings, and the way it declares variables and
// passes them.
#ifndef DUDUDUDADOD_DUDUDUDADOD_H_
#define DUDUDUDADOD_DUDUDUDADOD_H_

// The installed library holds the model, so its headers are open to clients
// (model/model_only.h).
#ifndef DUD_LINKS_MODEL
#define DUD_LINKS_MODEL
#endif

#include "automation/bstr.h"
#include "automation/runtime_error.h"
#include "automation/utf8.h"
#include "automation/variant.h"
#include "inspector/ravoduze.h"
#include "model/bstr_heap.h"
#include "model/client.h"
#include "model/process.h"

#endif  // DUDUDUDADOD_DUDUDUDADOD_H_
