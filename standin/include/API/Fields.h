#pragma once
// Calls into the engine by key: each call looks its address up again.

#include <cstddef>
#include <string>
#include <utility>

#include "API/Base.h"

template <typename RT, typename... ArgsTypes, typename... Args>
RT NativeCall(const void* _this, const std::string& func_name, Args&&... args) {
    using Fn = RT(__fastcall*)(DWORD64, ArgsTypes...);
    return reinterpret_cast<Fn>(GetAddress(func_name))(reinterpret_cast<DWORD64>(_this), std::forward<Args>(args)...);
}

template <typename RT, typename... ArgsTypes, typename... Args>
RT NativeCall(void* _this, const std::string& func_name, Args&&... args) {
    return NativeCall<RT, ArgsTypes...>(static_cast<const void*>(_this), func_name, std::forward<Args>(args)...);
}

template <typename RT, typename... ArgsTypes, typename... Args>
RT NativeCall(std::nullptr_t, const std::string& funcName, Args&&... args) {
    using Fn = RT(__fastcall*)(ArgsTypes...);
    return reinterpret_cast<Fn>(GetAddress(funcName))(std::forward<Args>(args)...);
}

template <typename RT>
RT GetNativePointerField(const void* _this, const std::string& field_name) {
    return reinterpret_cast<RT>(GetAddress(_this, field_name));
}
