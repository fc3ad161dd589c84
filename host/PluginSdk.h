#pragma once
// Everything a plug-in includes to talk to the host.
#include "host/ArrayWrapper.h"
#include "host/CVarManagerWrapper.h"
#include "host/CVarWrapper.h"
#include "host/GameData.h"
#include "host/GameWrapper.h"
#include "host/HttpWrapper.h"
#include "host/ModalWrapper.h"
#include "host/PluginBase.h"
