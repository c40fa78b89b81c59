<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="bg_BG" sourcelanguage="en">
<context>
    <name>vz::TwoSpeedWindow</name>
    <message>
        <source>Some values of the set-up file were refused; their defaults are used:</source>
        <translation>Някои стойности от файла с настройки са отхвърлени; вместо тях се ползват стойностите по подразбиране:</translation>
    </message>
    <message>
        <source>Petrol</source>
        <translation>Бензин</translation>
    </message>
    <message>
        <source>LPG</source>
        <translation>Пропан-бутан</translation>
    </message>
    <message>
        <source>CNG</source>
        <translation>Метан</translation>
    </message>
    <message>
        <source>None, or a catalyst without lambda control</source>
        <translation>Без катализатор или катализатор без ламбда регулиране</translation>
    </message>
    <message>
        <source>Lambda-controlled catalyst</source>
        <translation>Катализатор с ламбда регулиране</translation>
    </message>
    <message>
        <source>Not known</source>
        <translation>Неизвестно</translation>
    </message>
    <message>
        <source>Before Euro 3</source>
        <translation>Преди Евро 3</translation>
    </message>
    <message>
        <source>Euro 3 or later</source>
        <translation>Евро 3 или по-нов</translation>
    </message>
    <message>
        <source>Registration number</source>
        <translation>Регистрационен номер</translation>
    </message>
    <message>
        <source>Make</source>
        <translation>Марка</translation>
    </message>
    <message>
        <source>Model</source>
        <translation>Модел</translation>
    </message>
    <message>
        <source>First registration (dd.mm.yyyy)</source>
        <translation>Първа регистрация (дд.мм.гггг)</translation>
    </message>
    <message>
        <source>Fuel</source>
        <translation>Гориво</translation>
    </message>
    <message>
        <source>Emission control</source>
        <translation>Контрол на емисиите</translation>
    </message>
    <message>
        <source>Type approval</source>
        <translation>Одобрение на типа</translation>
    </message>
    <message>
        <source>Operator</source>
        <translation>Оператор</translation>
    </message>
    <message>
        <source>Limits</source>
        <translation>Норми</translation>
    </message>
    <message>
        <source>The analyser must be measuring and the probe in clean air.</source>
        <translation>Анализаторът трябва да измерва, а сондата да е на чист въздух.</translation>
    </message>
    <message>
        <source>Engine at operating temperature</source>
        <translation>Двигателят е на работна температура</translation>
    </message>
    <message>
        <source>The engine speed is read as vacuum. Choose how the analyser gives the engine speed:</source>
        <translation>Оборотите се четат като вакуум. Изберете как анализаторът дава оборотите:</translation>
    </message>
    <message>
        <source>Enter the registration number.</source>
        <translation>Въведете регистрационния номер.</translation>
    </message>
    <message>
        <source>Enter the date of first registration as dd.mm.yyyy.</source>
        <translation>Въведете датата на първа регистрация като дд.мм.гггг.</translation>
    </message>
    <message>
        <source>The date of first registration lies in the future.</source>
        <translation>Датата на първа регистрация е в бъдещето.</translation>
    </message>
    <message>
        <source>The test could not be recorded and does not start:</source>
        <translation>Изпитването не може да бъде записано и не започва:</translation>
    </message>
    <message>
        <source>The result of the test could not be recorded:</source>
        <translation>Резултатът от изпитването не може да бъде записан:</translation>
    </message>
    <message>
        <source>The protocol was printed.</source>
        <translation>Протоколът е отпечатан.</translation>
    </message>
    <message>
        <source>Printer error</source>
        <translation>Грешка на принтера</translation>
    </message>
    <message>
        <source>The test is recorded but its protocol was not printed.
Save the protocol as %1 in the station directory?</source>
        <translation>Изпитването е записано, но протоколът не е отпечатан.
Да се запише ли протоколът като %1 в директорията на станцията?</translation>
    </message>
    <message>
        <source>The protocol was not printed.</source>
        <translation>Протоколът не е отпечатан.</translation>
    </message>
    <message>
        <source>The protocol was saved as %1.</source>
        <translation>Протоколът е записан като %1.</translation>
    </message>
    <message>
        <source>The test cannot go on yet: see what is missing above.</source>
        <translation>Изпитването още не може да продължи: вижте по-горе какво липсва.</translation>
    </message>
    <message>
        <source>Abort the test? It is recorded as aborted.</source>
        <translation>Да се прекрати ли изпитването? То ще бъде записано като прекратено.</translation>
    </message>
    <message>
        <source>Vehicle</source>
        <translation>Автомобил</translation>
    </message>
    <message>
        <source>Instrument check</source>
        <translation>Проверка на уреда</translation>
    </message>
    <message>
        <source>Engine conditioning</source>
        <translation>Подготовка на двигателя</translation>
    </message>
    <message>
        <source>Measuring</source>
        <translation>Измерване</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Резултат</translation>
    </message>
    <message>
        <source>Step %1 of %2: %3</source>
        <translation>Стъпка %1 от %2: %3</translation>
    </message>
    <message>
        <source>Tab: next field · Enter: go on · Esc: close</source>
        <translation>Tab: следващо поле · Enter: напред · Esc: затваряне</translation>
    </message>
    <message>
        <source>Tab: next button · Enter: go on · F2: start or stop the run · Esc: abort the test</source>
        <translation>Tab: следващ бутон · Enter: напред · F2: пускане или спиране на измерването · Esc: прекратяване на изпитването</translation>
    </message>
    <message>
        <source>Enter or Esc: close</source>
        <translation>Enter или Esc: затваряне</translation>
    </message>
    <message>
        <source>Enter: print the protocol · Esc: close</source>
        <translation>Enter: печат на протокола · Esc: затваряне</translation>
    </message>
    <message>
        <source>Attempt %1 today for this registration number</source>
        <translation>Опит %1 днес за този регистрационен номер</translation>
    </message>
    <message>
        <source>The analyser is not measuring.</source>
        <translation>Анализаторът не измерва.</translation>
    </message>
    <message>
        <source>Wait until it measures.</source>
        <translation>Изчакайте да започне измерването.</translation>
    </message>
    <message>
        <source>Start the run (F2).</source>
        <translation>Пуснете измерването (F2).</translation>
    </message>
    <message>
        <source>The readings are out of range.</source>
        <translation>Показанията излизат извън обхвата.</translation>
    </message>
    <message>
        <source>Zero the analyser in clean air (F3).</source>
        <translation>Нулирайте анализатора на чист въздух (F3).</translation>
    </message>
    <message>
        <source>No results are coming from the analyser.</source>
        <translation>Не идват резултати от анализатора.</translation>
    </message>
    <message>
        <source>Check the connection to the analyser.</source>
        <translation>Проверете връзката с анализатора.</translation>
    </message>
    <message>
        <source>The run ends in %1 s; the test may take up to %2 s.</source>
        <translation>До края на измерването остават %1 s, а изпитването може да трае до %2 s.</translation>
    </message>
    <message>
        <source>Restart the run (F2 twice).</source>
        <translation>Пуснете измерването отначало (F2 два пъти).</translation>
    </message>
    <message>
        <source>The engine speed is 0: there is no speed signal.</source>
        <translation>Оборотите са 0: няма сигнал за оборотите.</translation>
    </message>
    <message>
        <source>Connect the speed pick-up and start the engine.</source>
        <translation>Свържете датчика за обороти и запалете двигателя.</translation>
    </message>
    <message>
        <source>Keep the probe in clean air.</source>
        <translation>Дръжте сондата на чист въздух.</translation>
    </message>
    <message>
        <source>The engine speed is not read from the record (vacuum mode).</source>
        <translation>Оборотите не се четат от записа (режим вакуум).</translation>
    </message>
    <message>
        <source>Choose RPM/1 or RPM/2.</source>
        <translation>Изберете RPM/1 или RPM/2.</translation>
    </message>
    <message>
        <source>The oil is at %1 °C; at least %2 °C is needed.</source>
        <translation>Маслото е %1 °C, нужни са поне %2 °C.</translation>
    </message>
    <message>
        <source>Warm up the engine.</source>
        <translation>Загрейте двигателя.</translation>
    </message>
    <message>
        <source>The analyser gives no oil temperature.</source>
        <translation>Анализаторът не дава температура на маслото.</translation>
    </message>
    <message>
        <source>Confirm that the engine is at operating temperature.</source>
        <translation>Потвърдете, че двигателят е на работна температура.</translation>
    </message>
    <message>
        <source>At 1200 baud the analyser&apos;s state cannot be checked: only that results arrive.</source>
        <translation>При 1200 бода състоянието на анализатора не може да се провери: проверява се само, че идват резултати.</translation>
    </message>
    <message>
        <source>Restarting the run…</source>
        <translation>Измерването се пуска отначало…</translation>
    </message>
    <message>
        <source>Restart the run (F2 twice)</source>
        <translation>Пускане на измерването отначало (F2 два пъти)</translation>
    </message>
    <message>
        <source>Start the run (F2)</source>
        <translation>Пускане на измерването (F2)</translation>
    </message>
    <message>
        <source>Ready. Press Enter to go on.</source>
        <translation>Готово. Натиснете Enter, за да продължите.</translation>
    </message>
    <message>
        <source>Oil temperature: %1 °C (at least %2 °C)</source>
        <translation>Температура на маслото: %1 °C (поне %2 °C)</translation>
    </message>
    <message>
        <source>The analyser gives no oil temperature: the operator confirmed that the engine is at operating temperature.</source>
        <translation>Анализаторът не дава температура на маслото: операторът потвърди, че двигателят е на работна температура.</translation>
    </message>
    <message>
        <source>The analyser gives no oil temperature (at least %1 °C is needed): confirm that the engine is at operating temperature.</source>
        <translation>Анализаторът не дава температура на маслото (нужни са поне %1 °C): потвърдете, че двигателят е на работна температура.</translation>
    </message>
    <message>
        <source>Ready. Press Enter to start measuring.</source>
        <translation>Готово. Натиснете Enter, за да започне измерването.</translation>
    </message>
    <message>
        <source>High idle</source>
        <translation>Повишени обороти</translation>
    </message>
    <message>
        <source>Idle</source>
        <translation>Празен ход</translation>
    </message>
    <message>
        <source>Phase %1 of %2: %3, speed window %4</source>
        <translation>Фаза %1 от %2: %3, прозорец на оборотите %4</translation>
    </message>
    <message>
        <source>Stabilising: %1 s left</source>
        <translation>Стабилизиране: остават %1 s</translation>
    </message>
    <message>
        <source>Measuring: %1 s left</source>
        <translation>Измерване: остават %1 s</translation>
    </message>
    <message>
        <source>Longest time left for the phase: %1 s</source>
        <translation>Най-много остава за фазата: %1 s</translation>
    </message>
    <message>
        <source>Paused: %1</source>
        <translation>Пауза: %1</translation>
    </message>
    <message>
        <source>Bring the engine speed into the window %1.</source>
        <translation>Докарайте оборотите в прозореца %1.</translation>
    </message>
    <message>
        <source>Bring the engine speed back into the window %1: after 2 s outside it, stabilisation starts over.</source>
        <translation>Върнете оборотите в прозореца %1: след 2 s извън него стабилизирането започва отначало.</translation>
    </message>
    <message>
        <source>Hold the engine speed: stabilising.</source>
        <translation>Задръжте оборотите: стабилизиране.</translation>
    </message>
    <message>
        <source>Hold the engine speed: measuring.</source>
        <translation>Задръжте оборотите: измерване.</translation>
    </message>
    <message>
        <source>Average: %1</source>
        <translation>Средно: %1</translation>
    </message>
    <message>
        <source>Not valid: %1</source>
        <translation>Невалидна: %1</translation>
    </message>
    <message>
        <source>Averages begin once %1 of measuring have run.</source>
        <translation>Средните стойности започват след %1 измерване.</translation>
    </message>
    <message>
        <source>Quantity</source>
        <translation>Величина</translation>
    </message>
    <message>
        <source>Average</source>
        <translation>Средна стойност</translation>
    </message>
    <message>
        <source>Limit</source>
        <translation>Норма</translation>
    </message>
    <message>
        <source>No valid average.</source>
        <translation>Няма валидна средна стойност.</translation>
    </message>
    <message>
        <source>PASS</source>
        <translation>СЪОТВЕТСТВА</translation>
    </message>
    <message>
        <source>FAIL</source>
        <translation>НЕ СЪОТВЕТСТВА</translation>
    </message>
    <message>
        <source>INVALID</source>
        <translation>НЕВАЛИДЕН</translation>
    </message>
    <message>
        <source>under way</source>
        <translation>в ход</translation>
    </message>
    <message>
        <source>passes</source>
        <translation>съответства</translation>
    </message>
    <message>
        <source>fails</source>
        <translation>не съответства</translation>
    </message>
    <message>
        <source>void</source>
        <translation>невалидна</translation>
    </message>
    <message>
        <source>aborted</source>
        <translation>прекратена</translation>
    </message>
    <message>
        <source>interrupted</source>
        <translation>прекъсната</translation>
    </message>
    <message>
        <source>not run</source>
        <translation>не е проведена</translation>
    </message>
    <message>
        <source>dd.mm.yyyy</source>
        <translation>дд.мм.гггг</translation>
    </message>
    <message>
        <source>Choose the reason</source>
        <translation>Изберете основанието</translation>
    </message>
    <message>
        <source>Declared reason</source>
        <translation>Декларирано основание</translation>
    </message>
    <message>
        <source>No protocol is printed for it. A page marked as no protocol can be printed or saved.</source>
        <translation>За него не се отпечатва протокол. Може да се отпечата или запише страница, отбелязана, че не е протокол.</translation>
    </message>
    <message>
        <source>The page marked as no protocol was printed.</source>
        <translation>Страницата, отбелязана, че не е протокол, е отпечатана.</translation>
    </message>
    <message>
        <source>The page marked as no protocol was not printed.
Save it as %1 in the station directory?</source>
        <translation>Страницата, отбелязана, че не е протокол, не е отпечатана.
Да се запише ли като %1 в директорията на станцията?</translation>
    </message>
    <message>
        <source>The page marked as no protocol was not printed.</source>
        <translation>Страницата, отбелязана, че не е протокол, не е отпечатана.</translation>
    </message>
    <message>
        <source>The page marked as no protocol was saved as %1.</source>
        <translation>Страницата, отбелязана, че не е протокол, е записана като %1.</translation>
    </message>
    <message>
        <source>Abort the test? A valid average beyond the limits has been measured: the test is recorded as failed.</source>
        <translation>Да се прекрати ли изпитването? Измерена е валидна средна стойност извън нормите: изпитването ще бъде записано като несъответстващо.</translation>
    </message>
    <message>
        <source>Enter: print the page marked as no protocol · Esc: close</source>
        <translation>Enter: печат на страницата, отбелязана, че не е протокол · Esc: затваряне</translation>
    </message>
    <message>
        <source>Clean-air check: HC below 20 ppm, CO₂ at most 0.5 % and O₂ at least 19.5 % for 5 s.</source>
        <translation>Проверка за чист въздух: HC под 20 ppm, CO₂ най-много 0,5 % и O₂ поне 19,5 % за 5 s.</translation>
    </message>
    <message>
        <source>HC is %1 ppm; in clean air it must be below 20 ppm.</source>
        <translation>HC е %1 ppm; на чист въздух трябва да е под 20 ppm.</translation>
    </message>
    <message>
        <source>Keep the probe in clean air; if HC does not fall, clean the probe and the line.</source>
        <translation>Дръжте сондата на чист въздух; ако HC не спада, почистете сондата и маркуча.</translation>
    </message>
    <message>
        <source>CO₂ is %1 %; in clean air it must be at most 0.5 %.</source>
        <translation>CO₂ е %1 %; на чист въздух трябва да е най-много 0,5 %.</translation>
    </message>
    <message>
        <source>Take the probe out of the exhaust and hold it in clean air.</source>
        <translation>Извадете сондата от ауспуха и я дръжте на чист въздух.</translation>
    </message>
    <message>
        <source>O₂ is %1 %; in clean air it must be at least 19.5 %.</source>
        <translation>O₂ е %1 %; на чист въздух трябва да е поне 19,5 %.</translation>
    </message>
    <message>
        <source>Hold the probe in clean air; if O₂ stays low, zero the analyser (F3).</source>
        <translation>Дръжте сондата на чист въздух; ако O₂ остане нисък, нулирайте анализатора (F3).</translation>
    </message>
    <message>
        <source>The clean-air check was done more than 10 minutes ago: do it again.</source>
        <translation>Проверката за чист въздух е направена преди повече от 10 минути: направете я отново.</translation>
    </message>
    <message>
        <source>Clean-air check passed: HC, CO₂ and O₂ stayed clean for 5 s.</source>
        <translation>Проверката за чист въздух е преминала: HC, CO₂ и O₂ останаха чисти за 5 s.</translation>
    </message>
    <message>
        <source>Clean-air check: keep the probe in clean air. HC %1 ppm, CO₂ %2 %, O₂ %3 %; clean for %4 of 5 s.</source>
        <translation>Проверка за чист въздух: дръжте сондата на чист въздух. HC %1 ppm, CO₂ %2 %, O₂ %3 %; чисто от %4 от 5 s.</translation>
    </message>
    <message>
        <source>Recording the average in the archive…</source>
        <translation>Средната стойност се записва в архива…</translation>
    </message>
    <message>
        <source>The result was not recorded: there is no protocol for this test.</source>
        <translation>Резултатът не е записан: за това изпитване няма протокол.</translation>
    </message>
    <message>
        <source>Before Euro 1</source>
        <translation>Преди Евро 1</translation>
    </message>
    <message>
        <source>Euro 1</source>
        <translation>Евро 1</translation>
    </message>
    <message>
        <source>Euro 2</source>
        <translation>Евро 2</translation>
    </message>
</context>
</TS>
