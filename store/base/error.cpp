// Result codes and their texts. The texts are written here in UTF-8 and
// handed out in EUC-KR (the store's texts are EUC-KR), converted once.
#include <atomic>
#include <map>
#include <string>

#include <zunCore/korean.h>

#include "store_internal.hpp"

namespace {

struct Text {
    int code;
    const char* utf8;
};

// Every code with a text of its own; 1052002-1052004 and 1051044-1051047
// have none.
constexpr Text kTexts[] = {
    {-1, "실패"},
    {0, "성공"},
    {1051000, "Directory open 실패"},
    {1051001, "인증서리스트 가져오기 실패. path 확인"},
    {1051002, "인증서 리스트 스트링 가져오기 실패. 메모리할당 실패"},
    {1051003, "인증서 정보저장 구조체 생성 실패."},
    {1051004, "인증서에서 Serial Number 가져오기 실패."},
    {1051005, "인증서에서 SubjectDN을 가져오는데 실패. 인증서 파라미터가 널"},
    {1051006, "인증서에서 SubjectName을 가져오는데 실패."},
    {1051007, "SKID 구조체 생성 실패."},
    {1051008, "Enveloped Encrypt (skey,iv포함) 실패"},
    {1051009, "SKID 배열초기화 하던중 인증서를 해쉬하는데 실패"},
    {1051010, "대칭키 암호화 실패"},
    {1051011, "대칭키 복호화 실패"},
    {1051012, "SKID 구조체 배열 Init 실패. 파라미터 확인"},
    {1051013, "세션키 IV 가져오기 실패. 파라미터 SKID NULL"},
    {1051014, "찾고자하는 SKID가 저장되어있지 않음."},
    {1051015, "세션키와 IV 갖는 Enveloped Decrypt 실패"},
    {1051016, "세션키와 IV 저장 실패. 인증서스트링이 NULL"},
    {1051017, "Enveloped Encrypt 실패. 파라미터 skid가 NULL"},
    {1051018, "대칭키 암호화 실패. 파라미터 skid가 NULL"},
    {1051019, "대칭키 복호화 실패. skid 와 매칭되는 세션키 IV를 찾을수 없음."},
    {1051020, "암호화된 개인키 및 인증서를 복호화 하는데 실패"},
    {1051021, "복호화된 개인키&인증서 파싱 실패"},
    {1051022, "메모리 할당 실패"},
    {1051023, "파싱된 개인키 base64 디코딩 실패"},
    {1051024, "X509 정보 파싱 실패"},
    {1051025, "IPhone Keychain 에 인증서&키를 저장 실패"},
    {1051026, "유효한 인덱스 번호가 아닙니다."},
    {1051027, "비밀번호 변경 실패"},
    {1051028, "비밀번호 변경이 완료된 개인키 파일 저장 실패"},
    {1051029, "개인키에서 랜덤 추출 실패"},
    {1051030, "VID 검증 실패"},
    {1051031, "IPhone Keychain의 인증서&개인키 삭제 실패"},
    {1051032, "IPhone Keychain으로 부터 개인키&인증서 가져오기 실패"},
    {1051033, "인덱스 번째 개인키를 하드디스크로 부터 읽어오기 실패"},
    {1051034, "개인키 비밀번호 틀림"},
    {1051035, "VID 검증 파라미터 오류"},
    {1051036, "개인키 비밀번호 검증 파라미터 오류"},
    {1051037, "인증서 복호화 오류: 주민번호, 인증번호 입력 확인"},
    {1051038, "버퍼 오버플로우 오류"},
    {1051039, "zunplugindata property set parameter error"},
    {1051040, "sid is null"},
    {1051041, "MakeZUNPluginData Parameter error"},
    {1051042, "IPDecrypt Parameter error"},
    {1052000, "DLL 로드 오류"},
    {1052001, "DLL 함수 호출 오류"},
    {1052005, "이미지 검증 데이터 오류"},
    {1052006, "이미지 검증 원본 데이터 길이 오류"},
    {1052007, "메모리 할당 오류"},
    {1052008, "PIN 파라미터 오류 & PIN 길이 오류"},
    {1052009, "경로 파라미터 오류 & 경로 길이 오류"},
    {1052010, "Path 데이터와 Path 길이 정보가 일치하지 않는다."},
    {1052011, "입력 파라미터 오류 "},
    {1052012, "입력 데이터를 Hash하는 도중 오류 발생"},
    {1052013, "입력 비밀 번호 오류"},
    {1052014, "지원하지 않는 인증서 Type"},
    {1052015, "데이터 오류"},
    {1052016, "CA Name 파라미터 오류"},
    {1052017, "CA IP 파라미터 오류"},
    {1052018, "CA Port 파라미터 오류"},
    {1052019, "CA URL 파라미터 오류"},
    {1052020, "CA URL Path 파라미터 오류"},
    {1052021, "참조 코드 파라미터 오류"},
    {1052022, "인가 코드 파라미터 오류"},
    {1052023, "CMP LIB 인증서 발급 오류"},
    {1052024, "CMP LIB 인증서 재발급 오류"},
    {1052025, "CMP LIB 인증서 갱신 오류"},
    {1052026, "정의 되지 않은 Filter Type"},
    {1052027, "드라이브 명이 정확하지 않습니다."},
    {1052028, "서명을 위한 원본 데이터 오류"},
    {1052029, "식별 정보 오류"},
    {1052030, "파일 읽어오기 실패"},
    {1052031, "파일 쓰기 실패"},
    {1052032, "Cert to DER 변환 오류"},
    {1052033, "로그인(PKCS#1) 서명 오류"},
    {1052034, "이체(PKCS#7) 서명 오류"},
    {1052035, "PKCS#12 가져오기 오류"},
    {1052036, "PKCS#12 내보내기 오류"},
    {1052037, "Random Data 오류"},
    {1052038, "SessionKey 생성 실패"},
    {1052039, "도메인 정보 오류"},
    {1052040, "CTX 구조체 NULL"},
    {1052041, "서버 인증서 존재함"},
    {1052042, "서버 인증서 존재하지 않음"},
    {1052043, "SessionKey 존재함"},
    {1052044, "SessionKey 존재하지 않음"},
    {1052045, "필터 정보가 존재함"},
    {1052046, "필터 정보가 존재하지 않음"},
    {1052047, "도메인 정보가 존재하지 않음"},
    {1052048, "Initial Vector 존재 함"},
    {1052049, "Initial Vector 존재하지 않음"},
    {1052050, "서버 인증서의 공개키가 존재하지 않음"},
    {1052051, "보안 토큰 서명 DER 생성 실패"},
    {1052052, "PKCS#7 서명 시간 오류"},
    {1052053, "해쉬 실패"},
    {1052054, "드라이버를 찾을 수 없음"},
    {1052055, "장치를 찾을 수 없음"},
    {1052056, "드라이버를 설치 할 수 없음"},
    {1052057, "보안 토큰 장치 오류"},
    {1052058, "보안 토큰 Session 오류"},
    {1052059, "보안 토큰 전자 서명 오류"},
    {1052060, "보안 토큰 로그인 오류"},
    {1052061, "보안 토큰이 잠겨 있습니다."},
    {1052062, "모듈명 오류"},
    {1052063, "인증서 복사 실패"},
    {1052064, "인증서 삭제 실패"},
    {1052065, "인증서 PKCS#1 서명 실패"},
    {1052066, "휴대폰 드라이버 정보가 없음"},
    {1052067, "휴대폰 드라이버 다운로드 URL 정보가 없음"},
    {1052068, "휴대폰 드라이버 버젼 정보가 없음"},
    {1052069, "인증 업무 준칙 URL 정보가 없습니다."},
    {1052070, "이미지 파일 경로가 존재하지 않습니다."},
    {1052071, "CMP LIB PKCS10 인증서 발급 오류"},
    {1052072, "PKCS10 구조체를 찾을 수 없습니다"},
    {1052073, "PIN 번호 오류"},
    {1052074, "PIN 혹은 새로운 비밀 번호 오류"},
    {1052075, "HSM 메모리 용량 부족"},
    {1052076, "저장매체 Type 불일치"},
    {1052077, "지원하지 않는 디바이스"},
    {1052078, "R1 검증 실패"},
};

constexpr const char* kUnknownText = "정의되지 않은 에러 메시지 입니다.";

std::string toEucKr(const char* utf8) {
    zstore::MallocPtr<char> euc(VCL_ConvertUTF8ToEUCKR(utf8));
    return euc ? std::string(euc.get()) : std::string(utf8);
}

struct Table {
    std::map<int, std::string> texts;
    std::string unknown;
    Table() : unknown(toEucKr(kUnknownText)) {
        for (const Text& t : kTexts) texts.emplace(t.code, toEucKr(t.utf8));
    }
};

const Table& table() {
    static const Table t;
    return t;
}

std::atomic<int> gLastError{0};

}  // namespace

namespace zstore {

void setLastError(int code) { gLastError.store(code, std::memory_order_relaxed); }

}  // namespace zstore

extern "C" {

VPL_API const char* VPL_GetErrorString(int code) {
    const Table& t = table();
    const auto it = t.texts.find(code);
    return it != t.texts.end() ? it->second.c_str() : t.unknown.c_str();
}

VPL_API int VPL_GetLastError(void) { return gLastError.load(std::memory_order_relaxed); }

}  // extern "C"
