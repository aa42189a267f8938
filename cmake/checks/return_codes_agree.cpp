// Compiled by the build, never run: fails the build when a return code differs between the
// Java constants (read from the headers javac -h writes from LoadManager and EngineCodes) and
// the C constants of the library and of the reference engine.
#include "com_mirelta_requests_EngineCodes.h"
#include "com_mirelta_requests_LoadManager.h"
#include "contract/engine_codes.h"
#include "return_codes.h"

#define JKESTRUNE_SAME_CODE(java, c) static_assert((java) == (c), #java " differs from " #c)

JKESTRUNE_SAME_CODE(com_mirelta_requests_LoadManager_OK, jkestrune::kSuccess);
JKESTRUNE_SAME_CODE(com_mirelta_requests_LoadManager_ERR_NULL_ARGUMENT,
                    jkestrune::ERR_NULL_ARGUMENT);
JKESTRUNE_SAME_CODE(com_mirelta_requests_LoadManager_ERR_INVALID_ARGUMENT,
                    jkestrune::ERR_INVALID_ARGUMENT);
JKESTRUNE_SAME_CODE(com_mirelta_requests_LoadManager_ERR_OUT_OF_MEMORY,
                    jkestrune::ERR_OUT_OF_MEMORY);
JKESTRUNE_SAME_CODE(com_mirelta_requests_LoadManager_ERR_RESULT_DELIVERY,
                    jkestrune::ERR_RESULT_DELIVERY);
JKESTRUNE_SAME_CODE(com_mirelta_requests_LoadManager_ERR_ENGINE_CONTRACT,
                    jkestrune::ERR_ENGINE_CONTRACT);
JKESTRUNE_SAME_CODE(com_mirelta_requests_LoadManager_ERR_NO_AUDIO, jkestrune::ERR_NO_AUDIO);

JKESTRUNE_SAME_CODE(com_mirelta_requests_EngineCodes_NO_BACKGROUND_MODEL, kestrune::KS_ERR_NO_UBM);
JKESTRUNE_SAME_CODE(com_mirelta_requests_EngineCodes_NO_TARGETS, kestrune::KS_ERR_NO_TARGETS);
JKESTRUNE_SAME_CODE(com_mirelta_requests_EngineCodes_FOREIGN_MODEL_SET, kestrune::KS_ERR_MODEL_SET);
JKESTRUNE_SAME_CODE(com_mirelta_requests_EngineCodes_BAD_ARGUMENT, kestrune::KS_ERR_ARGUMENT);
JKESTRUNE_SAME_CODE(com_mirelta_requests_EngineCodes_TOO_LITTLE_SPEECH,
                    kestrune::KS_ERR_TOO_LITTLE_SPEECH);
JKESTRUNE_SAME_CODE(com_mirelta_requests_EngineCodes_BUSY, kestrune::KS_ERR_BUSY);
JKESTRUNE_SAME_CODE(com_mirelta_requests_EngineCodes_OUT_OF_MEMORY, kestrune::KS_ERR_OUT_OF_MEMORY);
JKESTRUNE_SAME_CODE(com_mirelta_requests_EngineCodes_INTERNAL_FAILURE, kestrune::KS_ERR_INTERNAL);
JKESTRUNE_SAME_CODE(com_mirelta_requests_EngineCodes_TOO_MANY_TARGETS,
                    kestrune::KS_ERR_TOO_MANY_TARGETS);
