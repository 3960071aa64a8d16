#pragma once
// The whole COM layer: types, interfaces, runtime, helpers, module table.

#include "platform/com/bstr.h"
#include "platform/com/comcat.h"
#include "platform/com/comptr.h"
#include "platform/com/dispatch.h"
#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/com/interfaces.h"
#include "platform/com/module.h"
#include "platform/com/runtime.h"
#include "platform/com/server.h"
#include "platform/com/variant.h"
