# KESTRA_SANITIZE=address -> AddressSanitizer + UndefinedBehaviorSanitizer
# KESTRA_SANITIZE=thread  -> ThreadSanitizer
if(KESTRA_SANITIZE STREQUAL "address")
    set(_kestra_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(KESTRA_SANITIZE STREQUAL "thread")
    set(_kestra_san -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT KESTRA_SANITIZE STREQUAL "")
    message(FATAL_ERROR "KESTRA_SANITIZE must be empty, 'address' or 'thread', not '${KESTRA_SANITIZE}'")
endif()
if(DEFINED _kestra_san)
    # -O1 -g1, as the sanitizers' own documentation advises: reports keep
    # their file and line, and the tree compiles in about two thirds of the
    # time of -O2 -g (measured on our ui/, comm/ and device/ sources).
    if(CMAKE_BUILD_TYPE STREQUAL "RelWithDebInfo")
        set(CMAKE_CXX_FLAGS_RELWITHDEBINFO "-O1 -g1 -DNDEBUG")
    endif()
    add_compile_options(${_kestra_san})
    add_link_options(${_kestra_san})
endif()

# A fuzzing build instruments everything for coverage and checks memory and UB.
if(KESTRA_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "KESTRA_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
