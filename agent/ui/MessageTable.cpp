// The message table of the windows in its two editions, and the resource
// helper that fills, reads and applies it.
#include <gtk/gtk.h>

#include <iterator>

#include "job/Job.h"
#include "ui/MainUI.h"

namespace {

// Every key with its Korean and English text; "\n" breaks a line, and
// blanks at either end belong to the text.
const MessageRow kMessages[] = {
    {"SelectCertificate", "인증서 선택", "Select Certificate"},
    {"SelectStorage", "저장매체", "Select Storage"},
    {"HDD", "하드디스크", "HDD"},
    {"FDD", "이동식", "Discs"},
    {"HSM", "보안토큰", "Secu-Token"},
    {"USB", "저장토큰", "Stor-Token"},
    {"PHONE", "휴대폰", "Phone"},
    {"Subject", "발급대상", "Subject"},
    {"Issuer", "발급자", "Issuer"},
    {"Type", "구분", "Type"},
    {"ExpireDate", "만료일자", "ExpireDate"},
    {"CertView", "인증서 보기", "View Certificate"},
    {"CertFind", "인증서 찾기", "Select P12 File"},
    {"CertDelete", "인증서 삭제", "Delete"},
    {"CertPassword", "인증서 암호", "Password"},
    {"InputPasswordDesc", "인증서 암호는 대소문자를 구분합니다.", "Input the certificate password."},
    {"OK", "확인", "OK"},
    {"Cancel", "취소", "Cancel"},
    {"Close", "닫기", "Close"},
    {"SIGNVIEW_DESC", "아래의 내용을 전자서명합니다.\n동의하시면 인증서 암호를 입력하시고 확인을 누르세요.",
     "This data will be signed.\nIf you agree, select 'OK'"},
    {"CertificateManager", "인증서 관리", "Certificate Manager"},
    {"UserCert", "사용자인증서", "Personal Cert"},
    {"CACert", "공인인증기관", "CA Cert"},
    {"RootCACert", "최상위인증기관", "Root CA Cert"},
    {"PrivateCACert", "사설인증기관", "Priv CA Cert"},
    {"CertManage", "인증서 관리", "Cert Manager"},
    {"CertCopy", "인증서 복사", "Cert Copy"},
    {"P12ImExport", "가져오기\n내보내기", "Import\nExport"},
    {"ChangePassword", "인증서\n암호변경", "Change\nPassword"},
    {"Change_Password", "인증서 암호 변경", "Change Password"},
    {"CertViewAndVerify", "인증서 보기", "View Cert"},
    {"VIDCheck", "인증서\n본인확인", "Cert\nCheck"},
    {"select_media_to_store_the_certficiate", "인증서를 저장 할 매체를 선택하여 주십시요.",
     "Select media to store the certficiate"},
    {"Warning_msg1", "주의사항\n-공인인증서는 USB메모리 등 이동식 저장매체에 저장하는\n것이 더 안전합니다.",
     "Warning\n-It is safe that the certificate is stored in portable media\nsuch as Secure Token and USB Storage."},
    {"checkPasswd", "", ""},
    {"Please_enter_the_password_of_the_certificate", "인증서 암호를 입력하세요.",
     "Please enter the password of the certificate."},
    {"CertInfo", "인증서 정보", "Certficate Information"},
    {"Delete_confirm", "확인(OK)을 누르면 인증서를 삭제합니다.", "Click OK button to remove certificate."},
    {"Normal", "일반", "Normal"},
    {"Advanced", "자세히", "Detail"},
    {"CertPath", "경로", "Path"},
    {"CERT_STATUS_OK", "인증서 상태가 유효합니다.", "This certificate is valid."},
    {"CERT_STATUS_EXPIRED", "인증서가 만료 되었습니다.", "This certificate is expired."},
    {"CERT_STATUS_WILLBE_EXPIRE", "인증서가 30일내에 만료됩니다.", "This certificate will be expired in 30days."},
    {"CERT_STATUS_REVOKED", "인증서가 폐기되었습니다.", "This certificate is revoked."},
    {"CERT_STATUS_CHECK_FAIL", "인증서의 상태를 확인할 수 없습니다.",
     "The status of This certificate can not be verified yet."},
    {"FIELDNAME_VERSION", "버전", "Version"},
    {"FIELDNAME_SERIAL", "일련번호", "Serial"},
    {"FIELDNAME_SIGNALG", "서명알고리즘", "Signature Algorithm"},
    {"FIELDNAME_ISSUER", "발급자", "Issuer"},
    {"FIELDNAME_VALIDITYFROM", "유효기간(시작)", "Not Before"},
    {"FIELDNAME_VALIDITYTO", "유효기간(끝)", "Not After"},
    {"FIELDNAME_SUBJECT", "발급대상", "Subject"},
    {"FIELDNAME_PUBKEYALG", "공개키 알고리즘", "Public Key Algorithm"},
    {"FIELDNAME_PUBKEY", "공개키", "Public Key"},
    {"FIELDNAME_FINGERPRINTALG", "손도장알고리즘", "FingerPrint Algorithm"},
    {"FIELDNAME_FINGERPRINT", "손도장", "FingerPrint"},
    {"FIELDNAME_AUTHKEYID", "기관키 식별자", "Authority Key ID"},
    {"FIELDNAME_SUBJKEYID", "주체키 식별자", "Subject Key ID"},
    {"FIELDNAME_KEYUSAGE", "키 사용", "Key Usage"},
    {"FIELDNAME_CERTPOLICY", "인증서 정책", "Cert Policy"},
    {"FIELDNAME_SUBJALTNAME", "주체 대체 이름", "Subject Alternate Name"},
    {"FIELDNAME_AUTHINFOACCESS", "기관정보 액세스", "Authority Information"},
    {"FIELDNAME_CRLDP", "CRL 배포 지점", "CRL Distribution Point"},
    {"IMPORT_CERT", "인증서 가져오기", "Import Certificate"},
    {"EXPORT_CERT", "인증서 내보내기", "Export Certificate"},
    {"SELECT", "선택", "Select"},
    {"PLEASE_SELECT_Import_Export_Certificate", "인증서 가져오기/내보내기를 선택하세요.",
     "Please Select Import or Export Certificate."},
    {"INPUT_CERT_PASSWD", "인증서 암호 입력", "Input Certificate Password"},
    {"IN_CERT_PASSWD", "< 인증서 암호 입력 >", "< Input Certificate Password >"},
    {"Change_Password_label_1", "기존의 인증서 암호를 입력하시고 새로운 암호를 입력하세요.",
     "Please enter the current password and new password."},
    {"OLD_PASSWD", "기존 암호", "Current Password"},
    {"NEW_PASSWD", "새 암호", "New Password"},
    {"NEW_PASSWD_CONFIRM", "새 암호 확인", "Confirm New Password"},
    {"PASSWORD_GUIDE", "암호 설정 가이드", "Password Guide"},
    {"PASSWORD_GUIDE_MSG", "다음과 같은 규칙으로 암호를 생성해야 합니다.", ""},
    {"VID_CHECK", "주민등록번호(사업자등록번호) 확인", "Identity Verification."},
    {"VID_INPUT", "본인확인을 위한 주민등록번호나 사업자등록번호를\n입력하여 주시기 바랍니다.",
     "Please input the resident registration number or business registration number."},
    {"INPUT", "입력", "Input"},
    {"ISSUE_CERT", "인증서 발급", "Request Certificate"},
    {"ISSUE_CERT_SELECT_MEDIA", "인증서를 저장할 매체를 선택하여 주십시오",
     "To issue the new certificate, select media to store the certficiate."},
    {"NOTIFICATIONS", "< 알 림 >", "< Notifications >"},
    {"NOTIFI_1",
     "- 인증서는 USB메모리 등 이동식 저장매체에 저장하는 것이 더 \n  안전합니다.\n\n- 키 길이가 1,024비트보다 "
     "2,048비트인 인증서가 더 안전합니다.\n\n",
     "- Certificate a USB memory and other storage media stored\n  on your are safer.\n\n- A certificate that has "
     "2048bit of key length is secure than\n  a certificate that has 1024bit of key length.\n\n"},
    {"NOTIFI_2",
     "- 인증서 암호는 고객님이 직접 정하셔서 숫자, 영문, 특수문자를\n  반드시 포함하여 10자리이상 입력하셔야 "
     "합니다.\n\n- 인증서 유출/보관에 유의하시고, 인증서 발급 후 비밀번호는\n  최소 6개월 마다 저장된 매체별로 "
     "변경하시면 더욱 안전합니다.\n\n",
     "- You must enter more than 10 characters, including necessarily\n  the numbers, letters, special characters are "
     "defined your own\n  certificate password.\n\n- Note the spill and get the certificate / storage, and issue\n  "
     "certificates to\n  more safe to change at least every six months by the media\n  stored passwords.\n\n"},
    {"NOTIFI_3",
     "- 인증서 암호는 고객님이 직접 안전하게 입력하셔야 합니다.\n\n- 인증서 암호는 영문 대소문자를 구분 합니다.\n\n- "
     "인증서 암호는 공개된 장소에 보관하지 않는 것이 안전 합니다.\n\n[인증서 암호 안전도]\n    낮음 : 영문 1자리 "
     "포함하여 8자리 이상\n    보통 : 영문 대소문자, 특수문자를 포함하여 10자리 이상\n    양호 : 영문 대소문자, "
     "특수문자를 포함하여 12자리 이상\n",
     "- Input safely certificate password on your own.\n\n- Certificate password is case-sensitive.\n\n- Save safely "
     "certificate on non public storage.\n\n[Certificate password safety]\n    Low : 8 or more including more than one "
     "place in English.\n    Medium : 10 or more including more than one place in English,\n    Special characters.\n  "
     "  Good : 12 and more including more than one place in English,\n    Special characters.\n"},
    {"CONFIRM", "확인", "Confirm"},
    {"Roaming_Import_label_1",
     "1. 스마트폰에 표시된 인증번호 8자리를 입력해주십시오.\n2. [확인]버튼을 눌러 다음 단계로 진행하여 주십시오.",
     "1. Please input below the 8 digits authentication number shown the smartphone.\n2. Click [OK] button."},
    {"Roaming_Export_label_1",
     "1. 아래에 표시된 인증번호 8 자리를 스마트폰에 입력해 주십시오.\n2.[확인] 버튼을 눌러 주십시오.",
     "1. Please enter the 8-digit authentication number shown below into the smartphone.\n2. Click the [OK] button."},
    {"FIELD", "필드", "Field"},
    {"CONTENT", "내용", "Content"},
    {"MSG_SELECT_CERT", "인증서를 선택해 주세요.", "Please select certificate first."},
    {"NO_REMOVABLE_DRIVE", "연결된 이동식 디스크 장치가 없습니다.", "No Available Media."},
    {"STORETYPE_FDD_SELECT", "이동식 디스크 선택", "Select Removable Disk"},
    {"STORETYPE_FDD_SELECT_PLEASE", "이동식 디스크 선택를 선택하세요.", "Select Removable Disk, please."},
    {"Password_not_match", "암호가 일치하지 않습니다.", "Password not match."},
    {"Info", "알림", "Info"},
    {"Warning", "경고", "Warning"},
    {"Error", "실패", "Error"},
    {"UPDATE_CERT_OK", "인증서가 성공적으로 갱신되었습니다.", "Certificate update has succeeded"},
    {"UPDATE_CERT_FAIL", "인증서 갱신에 실패하였습니다. 다시한번 시도해주시기 바랍니다.",
     "Certificate can not be updated. try again please."},
    {"CertRemoved", "인증서가 삭제 되었습니다.", "Certificate has been deleted."},
    {"CertRemoveError", "인증서를 삭제힐 수 없습니다. 다시한번 시도해주시기 바랍니다.",
     "Certificate can not be deleted. try again please."},
    {"Password_is_too_short", "암호가 너무 짧습니다.", "Password is too short."},
    {"Password_1Alphabet", "1자이상의 영문자가 필요합니다.", "It must contain at least 1 alphabet"},
    {"PASSWORD_CHANGE_OK", "선택한 인증서 암호를 변경하였습니다.",
     "Changing the password of the certificate has been selected."},
    {"PASSWORD_CHANGE_FAILED", "선택한 인증서 암호를 변경하는데 실패하였습니다.",
     "Select the certificate failed to change the password."},
    {"ERR_INPUT_RRN", "본인확인을 위한 주민등록번호(개인용 인증서)나\n사업자등록번호(법인용 인증서)를 입력해주세요",
     "Social Security number for identification (personal certificates) or\nbusuness registration number(corporate "
     "certificate), please enter."},
    {"VERIFY_RRN_OK", "입력하신 주민등록번호나 사업자등록번호가 인증서 발급 정보와 일치합니다.",
     "Enter social security number or business registration number must match the information in the certificate "
     "issuance."},
    {"VERIFY_RRN_FAILED",
     "입력하신 주민등록번호나 사업자등록번호가 인증서 발급정보와 일치하지 않습니다.\n확인하시고 다시 시도하시기 "
     "바랍니다.",
     "Enter social security number of business registration number does not match the certificate issuance.\nPlease "
     "check and try again."},
    {"COPY_CERT_OK", "선택한 인증서를 복사하였습니다.", "Select the certificate has been copied"},
    {"COPY_CERT_FAILED", "선택한 인증서를 복사에 실패했습니다.", "Select the certificate failed to copy"},
    {"IMPORT_CERT_OK", "PKCS12 인증서를 인증서 저장소에 저장하였습니다.",
     "PKCS12 certificate has been stored in the certificate store."},
    {"IMPORT_CERT_FAILED", "PKCS12 인증서를 가져오는 도중 오류가 발생하였습니다.",
     "PKCS12 certificate import error occurred."},
    {"IMPORT_CERT_PASSWORD_CHECK_FAILED", "PKCS12 인증서 비밀번호가 일치하지 않습니다. 다시한번 시도해주시기 바랍니다.",
     "PKCS12 certificate Password not match. Try again please."},
    {"EXPORT_CERT_OK", "인증서를 PKCS12로 저장하였습니다.", "We have saved the certificate as PKCS12."},
    {"EXPORT_CERT_FAILED", "인증서를  PKCS12로 내보내기를 하는 도중 오류가 발생했습니다.",
     "Exporting PKCS12 certificate into an error occurred."},
    {"CC_MSG_1", "인증번호 ", "Enter "},
    {"CC_MSG_2", "자리를 입력하시기 바랍니다.", "-digit cerificate number"},
    {"CC_MSG_3", "인증번호가 올바르지 않거나 기타 오류입니다.", "Certificate number is incorrect, or other errors."},
    {"CC_MSG_4", "인증서 비밀번호가 잘못되었거나 다른 오류가 발생하였습니다. 다시한번 시도해주시기 바랍니다.",
     "Certificate password is incorrect or another error occurred. Try again please."},
    {"MSG_PASSWD_EIGHT_MORE", "암호는 8자리 이상 입력하여야 합니다.",
     "The password is too short. Equals or longer than 8."},
    {"OLD_PASSWORD_CHECK_FAILED", "기존 암호가 일치하지 않습니다. 다시한번 시도해주시기 바랍니다.",
     "The old password check failed. Try again please."},
    {"PASSWORD_CHECK_FAILED", "인증서 암호가 일치하지 않습니다. 다시한번 시도해주시기 바랍니다.",
     "The password check failed. Try again please."},
    {"LOGIN_P1_FAILED", "로그인에 실패하였습니다. 다시한번 시도해 주시기 바랍니다.", "Login failed. Please try again."},
    {"SIGNING_P7_FAILED", "전자서명에 실패하였습니다. 다시한번 시도해 주시기 바랍니다.",
     "The digital signature failed. Please try again."},
    {"EXPIREDCERT_IS_NOT_USE", "유효기간이 만료된 인증서입니다.  유효한 인증서를 선택하여 주시기 바랍니다.",
     "This certificate has expired. Please select a valid certificate."},
    {"PRIVATECERT_IS_CANNOT_VIDCHECK", "사설인증서는 본인확인 대상이 아닙니다.", "Private cert is cannot VID CHECK."},
    {"ROOTCA_CERT_CHECK_CAPTION", "최상위 인증기관 인증서 신뢰성 확인", "Root CA certificate reliability check"},
    {"ROOTCA_CERT_CHECK_TITLE", "최상위 인증기관 인증서의 해쉬값은 다음과 같습니다.",
     "The root CA certificate hash values are:"},
    {"ROOTCA_CERT_CHECK_FRAME_TITLE", " 최상위 인증기관 인증서 해쉬값 (SHA-256) ",
     " Root CA certificate hash value (SHA-256) "},
    {"ROOTCA_CERT_CHECK_KISA_INFO",
     "한국인터넷진흥원 홈페이지에 게시된 최상위 인증기관 인증서 해쉬값과 동일한지 확인하십시오.",
     "Veriry that the hash values of the root CA certificates published on the KISA website are the same."},
    {"ROOTCA_CERT_CHECK_KISA_NAME", "한국인터넷진흥원 : ", "KISA website : "},
    {"ROOTCA_CERT_VIEW_BTN_LABEL", "최상위인증서", "Root CA Cert"},
};
static_assert(std::size(kMessages) == 133);

}  // namespace

const MessageRow* MessageTable(size_t& count) {
    count = std::size(kMessages);
    return kMessages;
}

void CQuilletResourceHelper::SetResource(std::string language) {
    if (language == m_language) return;
    m_language = std::move(language);
    const bool english = !(m_language == "KOR" || m_language.empty());
    g_swLanguage_Eng = english ? 1 : 0;
    // Both editions write every key: the table holds one whole edition.
    for (const MessageRow& row : kMessages) m_table[row.key] = english ? row.english : row.korean;
}

const char* CQuilletResourceHelper::GetResourceData(std::string key) { return m_table[std::move(key)].c_str(); }

void CQuilletResourceHelper::SetCtrlText(std::string widgetId, CQRH_CTRLTYPE kind, std::string key) {
    if (!m_builder) return;
    GObject* object = gtk_builder_get_object(m_builder, widgetId.c_str());
    if (!object) return;
    const char* text = GetResourceData(std::move(key));
    switch (kind) {
        case CQRH_WINDOW_TITLE:
            if (GTK_IS_WINDOW(object)) gtk_window_set_title(GTK_WINDOW(object), text);
            break;
        case CQRH_LABEL:
            if (GTK_IS_LABEL(object)) gtk_label_set_text(GTK_LABEL(object), text);
            break;
        case CQRH_TREEVIEW_COLUMN:
            if (GTK_IS_TREE_VIEW_COLUMN(object)) gtk_tree_view_column_set_title(GTK_TREE_VIEW_COLUMN(object), text);
            break;
        case CQRH_BUTTON:
            if (GTK_IS_BUTTON(object)) gtk_button_set_label(GTK_BUTTON(object), text);
            break;
    }
}
