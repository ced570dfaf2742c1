// Every header of model/ includes this first: the model's headers compile
// only in targets that link dud_model, which defines DUD_LINKS_MODEL for
// them. Report code (sections/, inspector/, windows/) reaches the client's
// process through automation/client_process.h alone, so a report file that
// includes a model header fails to build rather than to link.
#ifndef DUD_MODEL_MODEL_ONLY_H_
#define DUD_MODEL_MODEL_ONLY_H_

#ifndef DUD_LINKS_MODEL
#error \
    "model/ is linked by the client, tests, benchmarks and fuzzers only; report code reads through automation/client_process.h"
#endif

#endif  // DUD_MODEL_MODEL_ONLY_H_
