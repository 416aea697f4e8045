// The shared codec helpers under the names the key formats use.
#pragma once

#include "asn1/codec_util.hpp"
#include "x509/x509_algorithm.hpp"
#include "x509/x509_list.hpp"

namespace zpki::pkcs {

using asn1::childCount;
using asn1::contentsString;
using asn1::deliver;
using asn1::derOf;
using asn1::isOneSequence;
using asn1::Node;
using asn1::NotEncoded;
using asn1::replace;
using asn1::sequenceOf;
using asn1::String;
using x509::Algorithm;
using x509::AlgorithmId;
using x509::isSequence;

}  // namespace zpki::pkcs
